// node check-manifests.cjs YAML_DIR MANIFESTS SHA256SUMS [DESCRIPTION]: checks
// the package manifests that scripts/manifests.sh wrote in MANIFESTS against
// winget's manifest format (1.10.0: the keys each file must have, and what
// each may hold) and Scoop's, that their SHA-256 and download address are the
// ZIP's in SHA256SUMS, that Scoop's autoupdate finds that sum there as Scoop
// would, and, when given, that both hold DESCRIPTION exactly. YAML_DIR holds
// the npm package yaml. Prints each fault and exits with 1 when there is any.
"use strict";
const { readFileSync, readdirSync } = require("node:fs");
const { join, resolve } = require("node:path");

const [yamlDir, dir, sumsFile, description] = process.argv.slice(2);
const { parse } = require(resolve(yamlDir));

const id = /^[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}$/;
const version = /^[^\\/:*?"<>|\x01-\x1f]{1,128}$/;
const locale = /^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$/;
const manifestVersion = /^\d{1,5}\.\d{1,5}\.\d{1,5}$/;
const url = /^[Hh][Tt][Tt][Pp][Ss]?:\/\/.+$/;
const sha256 = /^[A-Fa-f0-9]{64}$/;
const text = (least, most) => (v) => typeof v === "string" && v.length >= least && v.length <= most;
const matches = (pattern) => (v) => typeof v === "string" && pattern.test(v);
const oneOf = (...values) => (v) => values.includes(v);

// What each file must hold: every key listed, each passing its test.
const formats = {
  version: {
    PackageIdentifier: matches(id),
    PackageVersion: matches(version),
    DefaultLocale: matches(locale),
    ManifestType: oneOf("version"),
    ManifestVersion: matches(manifestVersion),
  },
  defaultLocale: {
    PackageIdentifier: matches(id),
    PackageVersion: matches(version),
    PackageLocale: matches(locale),
    Publisher: text(2, 256),
    PublisherUrl: matches(url),
    PackageName: text(2, 256),
    License: text(3, 512),
    LicenseUrl: matches(url),
    Copyright: text(3, 512),
    ShortDescription: text(3, 256),
    ManifestType: oneOf("defaultLocale"),
    ManifestVersion: matches(manifestVersion),
  },
  installer: {
    PackageIdentifier: matches(id),
    PackageVersion: matches(version),
    InstallerType: oneOf("msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable"),
    Installers: (v) => Array.isArray(v) && v.length >= 1 && v.length <= 1024,
    Commands: (v) => Array.isArray(v) && v.length >= 1 && v.length <= 16 && v.every(text(1, 40)),
    ReleaseDate: matches(/^\d{4}-\d{2}-\d{2}$/),
    ManifestType: oneOf("installer"),
    ManifestVersion: matches(manifestVersion),
  },
  installerEntry: {
    Architecture: oneOf("x86", "x64", "arm", "arm64", "neutral"),
    InstallerUrl: matches(url),
    InstallerSha256: matches(sha256),
  },
  nestedFile: { RelativeFilePath: text(1, 512), PortableCommandAlias: text(1, 40) },
  scoop: {
    version: matches(/^[\w\-.+_]+$/),
    description: text(1, 10000),
    homepage: matches(url),
    license: text(1, 512),
    bin: text(1, 512),
    architecture: (v) => typeof v === "object" && v !== null,
    checkver: (v) => typeof v === "object" && v !== null && url.test(v.github || ""),
    autoupdate: (v) => typeof v === "object" && v !== null,
  },
  scoop64: { url: matches(url), hash: matches(/^([a-fA-F0-9]{64}|sha256:[a-fA-F0-9]{64})$/) },
};

let faults = 0;
function fault(where, what) {
  console.log(`${where}: ${what}`);
  faults += 1;
}
function check(where, object, format) {
  for (const [key, test] of Object.entries(format)) {
    if (!(key in object)) fault(where, `${key} is missing`);
    else if (!test(object[key])) fault(where, `${key} is not as the format allows: ${JSON.stringify(object[key])}`);
  }
}

const zip = readFileSync(sumsFile, "utf8").split("\n").map((line) => line.split(/ {2}/)).find(([, name]) => /^Morlex-.*-win64\.zip$/.test(name || ""));
if (!zip) fault(sumsFile, "no sum of the ZIP");
const [zipSum, zipName] = zip || ["", ""];

const wingetDir = join(dir, "winget");
const files = [];
(function walk(folder) {
  for (const entry of readdirSync(folder, { withFileTypes: true }))
    if (entry.isDirectory()) walk(join(folder, entry.name));
    else files.push(join(folder, entry.name));
})(wingetDir);
const seen = {};
for (const file of files) {
  const manifest = parse(readFileSync(file, "utf8"));
  const type = manifest.ManifestType;
  if (!["version", "defaultLocale", "installer"].includes(type)) {
    fault(file, `ManifestType ${type} is not one of a multi-file manifest's`);
    continue;
  }
  seen[type] = manifest;
  check(file, manifest, formats[type]);
  for (const installer of type === "installer" ? manifest.Installers || [] : []) {
    check(`${file} (installer)`, installer, formats.installerEntry);
    if ((installer.InstallerSha256 || "").toLowerCase() !== zipSum) fault(file, "InstallerSha256 is not the ZIP's");
    if (!(installer.InstallerUrl || "").endsWith(`/${zipName}`)) fault(file, "InstallerUrl is not the ZIP's");
  }
  if (type === "installer" && manifest.InstallerType === "zip") {
    if (manifest.NestedInstallerType !== "portable") fault(file, "a ZIP's NestedInstallerType is not portable");
    for (const nested of manifest.NestedInstallerFiles || [{}]) check(`${file} (nested)`, nested, formats.nestedFile);
  }
}
for (const type of ["version", "defaultLocale", "installer"]) if (!seen[type]) fault(wingetDir, `no ${type} manifest`);
for (const key of ["PackageIdentifier", "PackageVersion"]) {
  const values = new Set(Object.values(seen).map((manifest) => manifest[key]));
  if (values.size !== 1) fault(wingetDir, `the files disagree on ${key}`);
}

const scoopFile = join(dir, "scoop", "morlex.json");
const scoop = JSON.parse(readFileSync(scoopFile, "utf8"));
check(scoopFile, scoop, formats.scoop);
const bits = (scoop.architecture || {})["64bit"] || {};
check(`${scoopFile} (64bit)`, bits, formats.scoop64);
if ((bits.hash || "").replace(/^sha256:/, "").toLowerCase() !== zipSum) fault(scoopFile, "hash is not the ZIP's");
if (!(bits.url || "").endsWith(`/${zipName}`)) fault(scoopFile, "url is not the ZIP's");
// Scoop's autoupdate: the next release's address, and its hash read from
// that release's SHA256SUMS with the regex, as Scoop fills in its variables.
const next = (((scoop.autoupdate || {}).architecture || {})["64bit"]) || {};
const sameRelease = (next.url || "").replaceAll("$version", scoop.version);
if (sameRelease !== bits.url) fault(scoopFile, `autoupdate's url gives ${sameRelease} for this version`);
const escaped = zipName.replace(/[.*+?^${}()|[\]\\]/g, "\\$&");
const hash = next.hash || {};
if (hash.url !== "$baseurl/SHA256SUMS") fault(scoopFile, "autoupdate's hash is not read from SHA256SUMS");
const found = new RegExp((hash.regex || "").replace("$sha256", "([a-fA-F0-9]{64})").replace("$basename", escaped), "i")
  .exec(readFileSync(sumsFile, "utf8"));
if (!found || found[1].toLowerCase() !== zipSum) fault(scoopFile, "autoupdate's regex does not find the ZIP's sum in SHA256SUMS");

if (description !== undefined) {
  if (seen.defaultLocale && seen.defaultLocale.ShortDescription !== description)
    fault(wingetDir, `ShortDescription reads back as ${JSON.stringify(seen.defaultLocale.ShortDescription)}`);
  if (scoop.description !== description) fault(scoopFile, `description reads back as ${JSON.stringify(scoop.description)}`);
}
if (seen.version && scoop.version !== seen.version.PackageVersion) fault(scoopFile, "version is not winget's");

console.log(`${files.length + 1} manifests checked, ${faults} faults`);
process.exit(faults === 0 ? 0 : 1);
