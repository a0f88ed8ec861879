#!/bin/sh
# manifests.sh SHA256SUMS DOWNLOAD_URL HOMEPAGE OUT: the package manifests of
# a release, in OUT: winget's (a multi-file manifest: a portable executable
# inside the ZIP, with its command alias) and Scoop's, which finds new
# releases and their sums by itself (checkver, autoupdate). DOWNLOAD_URL is
# where the release's files are (https://.../releases/download/v1.0.0); the
# version, the description and the copyright are the project's
# (MORLEX_DESCRIPTION instead, when set), the SHA-256 the ZIP's in
# SHA256SUMS, the release date the commit's. Texts are quoted and escaped as
# each format asks, whatever they hold.
set -eu
sums=$1
download=$2
homepage=$3
out=$4
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Morlex VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")
description=${MORLEX_DESCRIPTION:-$(sed -n 's/^ *DESCRIPTION "\(.*\)")$/\1/p' "$here/CMakeLists.txt")}
copyright=$(sed -n 's/^set(MORLEX_COPYRIGHT "\(.*\)")$/\1/p' "$here/CMakeLists.txt")
released=$(git -C "$here" log -1 --format=%cd --date=format:%Y-%m-%d 2>/dev/null || date -u +%Y-%m-%d)
zip="Morlex-$version-win64.zip"
sha=$(sed -n "s/^\([0-9a-f]\{64\}\)  $zip\$/\1/p" "$sums")
[ -n "$sha" ] || { echo "manifests.sh: $sums has no sum for $zip" >&2; exit 1; }
id=Morlex.Morlex
manifest=1.10.0
winget="$out/winget/manifests/m/Morlex/Morlex/$version"
mkdir -p "$winget" "$out/scoop"

# A text as a double-quoted string, in YAML and in JSON alike: a backslash
# and a quote escaped, so that ": ", "#" or "\"" are only text.
quoted() {
  printf '"%s"' "$(printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g')"
}

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
PublisherUrl: $(quoted "$homepage")
PackageName: Morlex
PackageUrl: $(quoted "$homepage")
License: MIT
LicenseUrl: $(quoted "$homepage/blob/v$version/LICENSE")
Copyright: $(quoted "$copyright")
ShortDescription: $(quoted "$description")
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
Commands:
- morlex
ReleaseDate: $released
Installers:
- Architecture: x64
  InstallerUrl: $(quoted "$download/$zip")
  InstallerSha256: $(echo "$sha" | tr 'a-f' 'A-F')
ManifestType: installer
ManifestVersion: $manifest
YAML
# Scoop's own variables ($version, $baseurl, $sha256, $basename) stay as
# they are: its autoupdate fills them in for each new release.
cat >"$out/scoop/morlex.json" <<JSON
{
    "version": "$version",
    "description": $(quoted "$description"),
    "homepage": $(quoted "$homepage"),
    "license": "MIT",
    "architecture": {
        "64bit": {
            "url": $(quoted "$download/$zip"),
            "hash": "$sha"
        }
    },
    "bin": "Morlex.exe",
    "checkver": {
        "github": $(quoted "$homepage")
    },
    "autoupdate": {
        "architecture": {
            "64bit": {
                "url": $(quoted "${download%/*}/v\$version/Morlex-\$version-win64.zip"),
                "hash": {
                    "url": "\$baseurl/SHA256SUMS",
                    "regex": "\$sha256\\\\s+\$basename"
                }
            }
        }
    }
}
JSON
find "$out" -type f | sort
