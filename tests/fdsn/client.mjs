#!/usr/bin/env node
// FDSN peer client for checking `trq serve`: asks through seisplotjs (the browser/Node
// FDSN client library) exactly as a third-party user would, and prints what seisplotjs
// understood as ONE JSON document on stdout.
//
//   node client.mjs BASEURL availability|extent|dataselect NET STA LOC CHA START END
//                   [--nodata 204|404] [--timeout SECONDS]
//   node client.mjs BASEURL networks|stations|channels NET STA LOC CHA START END
//                   (fdsnws-station at that level: the networks, stations with their
//                   coordinates, and channels seisplotjs read from the StationXML)
//
// BASEURL: http://HOST:PORT[/PREFIX]; requests go to BASEURL/fdsnws/<service>/1/...
// (a PREFIX that already ends in /fdsnws is used as is).
// LOC: "--" asks for the blank location code; "" leaves loc out of the request ("*" is
// left out by seisplotjs's dataselect query but sent as loc=* by its availability query).
// START/END: ISO times, UTC (e.g. 2024-03-05T12:34:56.789130); seisplotjs keeps milliseconds.
//
// Exit codes: 0 seisplotjs resolved (no-data answers it accepts give empty lists),
//   1 bad arguments, 2 HTTP error status (stderr: "HTTP <code>" and the body),
//   3 seisplotjs rejected an answer that was not an HTTP error (stderr says why),
//   4 no HTTP answer at all (connection refused, timeout),
//   5 a no-data answer (204, or the --nodata status) that seisplotjs rejected instead of
//     resolving to an empty list: seisplotjs 3.2.2 does that for every availability
//     /query and /extent no-data answer (its own empty result fails its own check).
// stdout carries the JSON document for exit codes 0 and 5 ("noData": true marks a no-data
// answer). seisplotjs's own console.log chatter ("attempt to fetch ...") goes to stderr.

// seisplotjs needs a DOM even in its Node build (it defines custom elements at load
// time), so jsdom has to be registered before seisplotjs is evaluated. ES module
// imports are evaluated in order, so this first import is enough.
import "global-jsdom/register";
// Under Node the package's "node" export condition resolves this to
// seisplotjs/dist/index_node.mjs (the same file as "seisplotjs/nodeonly").
import * as sp from "seisplotjs";

const STATION_LEVELS = ["networks", "stations", "channels"];
const USAGE =
  "usage: node client.mjs BASEURL availability|extent|dataselect|networks|stations|channels " +
  "NET STA LOC CHA START END " +
  "[--nodata 204|404] [--timeout SECONDS]";

// --- stdout belongs to the result document --------------------------------------------
console.log = (...args) => console.error("seisplotjs:", ...args);

function finish(code, doc) {
  const done = () => process.exit(code);
  // seisplotjs arms an abort timer per request and never clears it, so exit explicitly.
  if (doc !== undefined) {
    process.stdout.write(JSON.stringify(doc, null, 1) + "\n", done);
  } else {
    done();
  }
}

function fail(code, message) {
  process.stderr.write(`client.mjs: ${message}\n`);
  finish(code);
}

// --- exact time helpers (no floating point: epoch microseconds fit a double exactly) ---
function isoFromEpochMicros(us) {
  const ms = Math.floor(us / 1000);
  const micro = us - ms * 1000;
  const base = new Date(ms).toISOString(); // YYYY-MM-DDTHH:MM:SS.mmmZ
  return base.slice(0, 23) + String(micro).padStart(3, "0") + "Z";
}

// Parses the ISO times FDSN services print (optional fraction of 1..9 digits, optional Z).
// Returns epoch microseconds (sub-microsecond digits are cut off, reported separately).
function epochMicrosFromIso(text) {
  const m = /^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?Z?$/.exec(text);
  if (!m) return null;
  const [, y, mo, d, h, mi, s, frac = ""] = m;
  const whole = Date.UTC(+y, +mo - 1, +d, +h, +mi, +s);
  const micro = Number((frac + "000000").slice(0, 6));
  return whole * 1000 + micro;
}

// BTime of a miniSEED 2 record plus the blockette 1001 microsecond offset.
function epochMicrosFromBTime(bt) {
  const dayStart = Date.UTC(bt.year, 0, 1) + (bt.jday - 1) * 86400000;
  const ms = dayStart + ((bt.hour * 60 + bt.min) * 60 + bt.sec) * 1000;
  return ms * 1000 + bt.tenthMilli * 100 + (bt.microsecond || 0);
}

// --- arguments ------------------------------------------------------------------------
const positional = [];
const opts = { nodata: undefined, timeout: 30 };
{
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === "--nodata" || a === "--timeout") {
      if (i + 1 >= argv.length) fail(1, `${a} needs a value\n${USAGE}`);
      const v = Number(argv[++i]);
      if (!Number.isFinite(v) || v <= 0) fail(1, `bad value for ${a}: ${argv[i]}`);
      opts[a.slice(2)] = v;
    } else if (a === "-h" || a === "--help") {
      process.stdout.write(USAGE + "\n");
      process.exit(0);
    } else {
      positional.push(a);
    }
  }
}
if (positional.length !== 8) fail(1, USAGE);
const [baseUrlText, what, net, sta, loc, cha, start, end] = positional;
if (!["availability", "extent", "dataselect", ...STATION_LEVELS].includes(what)) fail(1, USAGE);

let base;
try {
  base = new URL(baseUrlText);
} catch {
  fail(1, `BASEURL is not a URL: ${baseUrlText}`);
}
if (base.protocol !== "http:" && base.protocol !== "https:") {
  fail(1, `BASEURL must be http or https: ${baseUrlText}`);
}
const port = base.port !== "" ? Number(base.port) : base.protocol === "https:" ? 443 : 80;
let pathBase = base.pathname.replace(/^\/+|\/+$/g, "");
if (pathBase === "") pathBase = "fdsnws";
else if (!pathBase.endsWith("fdsnws")) pathBase += "/fdsnws";

// --- fetch: Node 20's built-in fetch, wrapped to record what went over the wire ------
const calls = [];
// seisplotjs passes referrer: "seisplotjs" in every RequestInit; Node's fetch (undici)
// rejects that ("Referrer "seisplotjs" is not a valid URL"), so it is dropped here. jsdom
// has no window.fetch either, so without setDefaultFetch seisplotjs finds no fetch at all.
sp.util.setDefaultFetch(async (url, init) => {
  const call = { method: (init && init.method) || "GET", url: String(url) };
  calls.push(call);
  const { referrer, ...nodeInit } = init || {};
  void referrer;
  const response = await globalThis.fetch(url, nodeInit);
  call.status = response.status;
  call.statusText = response.statusText;
  call.contentType = response.headers.get("content-type");
  call.body = new Uint8Array(await response.clone().arrayBuffer());
  return response;
});

function configure(q) {
  q.protocol(base.protocol).host(base.hostname).port(port).pathBase(pathBase);
  q.timeout(opts.timeout);
  if (opts.nodata !== undefined) q.nodata(opts.nodata);
  q.networkCode(net).stationCode(sta).locationCode(loc).channelCode(cha);
  q.startTime(start).endTime(end);
  return q;
}

function lastCall() {
  return calls.length ? calls[calls.length - 1] : undefined;
}

function isNoDataStatus(status) {
  return status === 204 || (opts.nodata !== undefined && status === opts.nodata);
}

function bodyText(call, limit = 4000) {
  const text = new TextDecoder("utf-8", { fatal: false }).decode(call.body || new Uint8Array());
  return text.length > limit ? text.slice(0, limit) + "\n[...]" : text;
}

function httpErrorOf(call) {
  return call && call.status >= 400 && !isNoDataStatus(call.status);
}

function reportHttpError(call, extra) {
  process.stderr.write(
    `client.mjs: HTTP ${call.status} ${call.statusText || ""} from ${call.method} ${call.url}\n` +
      (extra ? `client.mjs: ${extra}\n` : "") +
      bodyText(call) +
      (bodyText(call).endsWith("\n") ? "" : "\n"),
  );
  finish(2);
}

function requestSummary() {
  return calls.map((c) => ({ method: c.method, url: c.url, status: c.status, contentType: c.contentType }));
}

// --- availability / extent --------------------------------------------------------------
async function runAvailability(method) {
  const q = configure(new sp.fdsnavailability.AvailabilityQuery(base.hostname));
  const sddList = method === "extent" ? await q.extent() : await q.query();
  const call = lastCall();
  // Pair seisplotjs's ranges with the served strings, in the order seisplotjs walks the
  // document (datasources in order; earliest/latest first, else each timespan).
  const served = [];
  if (call && call.status === 200) {
    const doc = JSON.parse(bodyText(call, Infinity));
    for (const ds of doc.datasources || []) {
      if (typeof ds.earliest === "string" && ds.earliest && typeof ds.latest === "string" && ds.latest) {
        served.push({ ds, start: ds.earliest, end: ds.latest });
      } else if (Array.isArray(ds.timespans)) {
        for (const ts of ds.timespans) served.push({ ds, start: ts[0], end: ts[1] });
      }
    }
  }
  if (served.length !== sddList.length) {
    throw new Error(`seisplotjs returned ${sddList.length} ranges, the answer holds ${served.length}`);
  }
  const ranges = sddList.map((sdd, i) => {
    const raw = served[i];
    const startUs = epochMicrosFromIso(raw.start);
    const endUs = epochMicrosFromIso(raw.end);
    return {
      network: sdd.networkCode,
      station: sdd.stationCode,
      location: sdd.locationCode,
      channel: sdd.channelCode,
      quality: raw.ds.quality,
      samplerate: raw.ds.samplerate,
      start: startUs === null ? null : isoFromEpochMicros(startUs),
      end: endUs === null ? null : isoFromEpochMicros(endUs),
      startEpochMicros: startUs,
      endEpochMicros: endUs,
      startServed: raw.start,
      endServed: raw.end,
      startSeisplotjs: sdd.startTime.toISO(),
      endSeisplotjs: sdd.endTime.toISO(),
      ...(method === "extent"
        ? { timespanCount: raw.ds.timespanCount, updated: raw.ds.updated, restriction: raw.ds.restriction }
        : {}),
    };
  });
  return { service: "availability", method, status: call ? call.status : null, requests: requestSummary(), ranges };
}

// --- dataselect -------------------------------------------------------------------------
async function runDataselect() {
  const q = configure(new sp.fdsndataselect.DataSelectQuery(base.hostname));
  const seismograms = await q.querySeismograms();
  const call = lastCall();
  // seisplotjs's start times are luxon DateTimes (milliseconds, blockette 1001 dropped);
  // the exact start comes from the same record headers, re-read from the served bytes.
  let records = [];
  if (call && call.body && call.body.byteLength > 0 && call.status === 200) {
    const buf = call.body.buffer.slice(call.body.byteOffset, call.body.byteOffset + call.body.byteLength);
    records = sp.miniseed.parseDataRecords(buf);
  }
  const segments = [];
  for (const seis of seismograms) {
    for (const seg of seis.segments) {
      const startMs = seg.startTime.toMillis();
      const rec = records.find(
        (r) =>
          r.header.netCode === seg.networkCode &&
          r.header.staCode === seg.stationCode &&
          r.header.locCode === seg.locationCode &&
          r.header.chanCode === seg.channelCode &&
          r.header.startTime.toMillis() === startMs,
      );
      if (!rec) throw new Error(`no record starts segment ${seg.codes()} ${seg.startTime.toISO()}`);
      const startUs = epochMicrosFromBTime(rec.header.startBTime);
      const y = seg.y;
      segments.push({
        network: seg.networkCode,
        station: seg.stationCode,
        location: seg.locationCode,
        channel: seg.channelCode,
        sampleRate: seg.sampleRate,
        start: isoFromEpochMicros(startUs),
        startEpochMicros: startUs,
        startSeisplotjs: seg.startTime.toISO(),
        numSamples: seg.numPoints,
        encoding: rec.header.encoding,
        sampleType: y.constructor.name,
        samples: Array.from(y),
      });
    }
  }
  return { service: "dataselect", method: "query", status: call ? call.status : null, requests: requestSummary(), segments };
}

// --- station ---------------------------------------------------------------------------
async function runStation(level) {
  const q = configure(new sp.fdsnstation.StationQuery(base.hostname));
  const networks =
    level === "networks" ? await q.queryNetworks() : level === "stations" ? await q.queryStations() : await q.queryChannels();
  const call = lastCall();
  return {
    service: "station",
    method: "query",
    status: call ? call.status : null,
    requests: requestSummary(),
    networks: networks.map((n) => ({
      network: n.networkCode,
      stations: n.stations.map((s) => ({
        station: s.stationCode,
        name: s.name,
        latitude: s.latitude,
        longitude: s.longitude,
        elevation: s.elevation,
        channels: s.channels.map((c) => ({
          location: c.locationCode,
          channel: c.channelCode,
          sampleRate: c.sampleRate,
          azimuth: c.azimuth,
          dip: c.dip,
          depth: c.depth,
          start: c.startDate.toISO(),
        })),
      })),
    })),
  };
}

// --- main ------------------------------------------------------------------------------
try {
  const doc = STATION_LEVELS.includes(what)
    ? await runStation(what)
    : what === "dataselect"
      ? await runDataselect()
      : await runAvailability(what === "extent" ? "extent" : "query");
  const call = lastCall();
  if (httpErrorOf(call)) {
    reportHttpError(call, "seisplotjs resolved anyway, result dropped");
  } else {
    doc.noData = Boolean(call && isNoDataStatus(call.status));
    finish(0, doc);
  }
} catch (err) {
  const call = lastCall();
  const msg = err && err.message ? err.message.split("\n")[0] : String(err);
  if (!call) {
    fail(1, `seisplotjs refused the request before sending it: ${msg}`);
  } else if (call.status === undefined) {
    fail(4, `no HTTP answer from ${call.url}: ${msg}${err && err.cause ? ` (${err.cause.code || err.cause.message})` : ""}`);
  } else if (httpErrorOf(call)) {
    reportHttpError(call, `seisplotjs: ${msg}`);
  } else if (isNoDataStatus(call.status)) {
    process.stderr.write(`client.mjs: no data (HTTP ${call.status}); seisplotjs rejected it: ${msg}\n`);
    finish(5, {
      service: what === "dataselect" ? "dataselect" : "availability",
      method: what === "extent" ? "extent" : "query",
      status: call.status,
      requests: requestSummary(),
      noData: true,
      seisplotjsError: msg,
    });
  } else {
    fail(
      3,
      `seisplotjs rejected the answer to ${call.method} ${call.url} ` +
        `(HTTP ${call.status}, content-type ${call.contentType}): ${msg}`,
    );
  }
}
