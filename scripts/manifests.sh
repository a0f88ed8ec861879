#!/bin/sh
# manifests.sh SHA256SUMS DOWNLOAD_URL HOMEPAGE OUT: the package manifests of
# a release, in OUT: winget's (a multi-file manifest: a portable executable
# inside the ZIP, with its command alias) and Scoop's. DOWNLOAD_URL is where
# the release's files are (https://.../releases/download/v1.0.0); the version
# is the project's, the SHA-256 the ZIP's in SHA256SUMS.
set -eu
sums=$1
download=$2
homepage=$3
out=$4
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Morlex VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")
description=$(sed -n 's/^ *DESCRIPTION "\(.*\)")$/\1/p' "$here/CMakeLists.txt")
zip="Morlex-$version-win64.zip"
sha=$(sed -n "s/^\([0-9a-f]\{64\}\)  $zip\$/\1/p" "$sums")
[ -n "$sha" ] || { echo "manifests.sh: $sums has no sum for $zip" >&2; exit 1; }
id=Morlex.Morlex
manifest=1.10.0
winget="$out/winget/manifests/m/Morlex/Morlex/$version"
mkdir -p "$winget" "$out/scoop"

cat >"$winget/$id.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.version.$manifest.schema.json
PackageIdentifier: $id
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: $manifest
YAML
cat >"$winget/$id.locale.en-US.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.defaultLocale.$manifest.schema.json
PackageIdentifier: $id
PackageVersion: $version
PackageLocale: en-US
Publisher: The Morlex developers
PackageName: Morlex
PackageUrl: $homepage
License: MIT
ShortDescription: $description
Moniker: morlex
Tags:
- environment
- path
ManifestType: defaultLocale
ManifestVersion: $manifest
YAML
cat >"$winget/$id.installer.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.installer.$manifest.schema.json
PackageIdentifier: $id
PackageVersion: $version
InstallerType: zip
NestedInstallerType: portable
NestedInstallerFiles:
- RelativeFilePath: Morlex.exe
  PortableCommandAlias: morlex
Installers:
- Architecture: x64
  InstallerUrl: $download/$zip
  InstallerSha256: $(echo "$sha" | tr 'a-f' 'A-F')
ManifestType: installer
ManifestVersion: $manifest
YAML
cat >"$out/scoop/morlex.json" <<JSON
{
    "version": "$version",
    "description": "$description",
    "homepage": "$homepage",
    "license": "MIT",
    "architecture": {
        "64bit": {
            "url": "$download/$zip",
            "hash": "$sha"
        }
    },
    "bin": "Morlex.exe"
}
JSON
find "$out" -type f | sort
