#!/usr/bin/env node
// Loads pages of `trq serve` in a real headless browser (Debian's chromium, driven through
// the DevTools protocol by puppeteer-core; nothing is downloaded) and prints what a person
// would have met there as ONE JSON document on stdout, keyed by page name:
//
//   node browser.mjs BASEURL SCREENSHOT_DIR PROFILE_DIR NAME=PATH...
//
// Per page: the HTTP status; console errors and uncaught exceptions; requests that failed
// or answered 400 and up; every picture and whether it decoded (naturalWidth > 0); every
// link with the status and content type it answers (fetched by Node) and the text of the
// table row it stands in; the rows of the stream tables (tr[data-stream]: their cells by
// class, the latency's class and seconds, the times' datetime); the time the page says it
// was made; and, for each button of a form with a formaction, the request the browser
// would send (its own form serialization) and what that answers. A full-page screenshot
// goes to SCREENSHOT_DIR/NAME.png. PROFILE_DIR is a new, empty Chromium profile.
//
// Exit codes: 0 every page loaded (the checks are the caller's), 1 bad arguments, 2 the
// browser failed.
import fs from "node:fs";
import puppeteer from "puppeteer-core";

const [base, shots, profile, ...specs] = process.argv.slice(2);
if (!base || !shots || !profile || specs.length === 0) {
  process.stderr.write("usage: node browser.mjs BASEURL SCREENSHOT_DIR PROFILE_DIR NAME=PATH...\n");
  process.exit(1);
}
fs.mkdirSync(shots, { recursive: true });

// What Node's fetch gets for a URL: status and content type (the body is read and dropped).
async function answer(url) {
  try {
    const response = await fetch(url, { signal: AbortSignal.timeout(30000) });
    await response.arrayBuffer();
    return { status: response.status, type: response.headers.get("content-type") };
  } catch (error) {
    return { status: 0, type: String(error) };
  }
}

// Everything the checks need from the loaded document.
function inspect() {
  const text = (node) => (node ? node.innerText.trim() : "");
  const rows = [...document.querySelectorAll("tr[data-stream]")].map((tr) => {
    const latency = tr.querySelector("td.latency");
    return {
      stream: tr.dataset.stream,
      first: tr.querySelector("td.first time")?.dateTime ?? "",
      last: tr.querySelector("td.last time")?.dateTime ?? "",
      latencyClass: latency ? [...latency.classList].filter((c) => c !== "latency").join(" ") : "",
      latencySeconds: latency?.dataset.seconds ?? "",
      coverage: [...tr.querySelectorAll("td.coverage")].map(text),
      links: text(tr.querySelector("td.links")),
      text: text(tr),
    };
  });
  const links = [...document.querySelectorAll("a[href]")].map((a) => ({
    href: a.href,
    row: text(a.closest("tr")),
  }));
  const images = [...document.images].map((img) => ({
    src: img.src,
    decoded: img.complete && img.naturalWidth > 0,
    width: img.naturalWidth,
    height: img.naturalHeight,
  }));
  const submits = [];
  for (const button of document.querySelectorAll("form button[formaction]")) {
    const query = new URLSearchParams(new FormData(button.form, button));
    submits.push({ button: text(button), url: button.formAction + "?" + query.toString() });
  }
  return { made: document.querySelector("p.made time")?.dateTime ?? "", rows, links, images, submits };
}

let browser;
try {
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    // As root Chromium needs --no-sandbox; the rest keeps it from reaching out anywhere.
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
} catch (error) {
  process.stderr.write(`browser.mjs: the browser did not start: ${error}\n`);
  process.exit(2);
}
const report = {};
try {
  for (const spec of specs) {
    const name = spec.slice(0, spec.indexOf("="));
    const page = await browser.newPage();
    await page.setViewport({ width: 1500, height: 1000 });
    const seen = { consoleErrors: [], failed: [] };
    page.on("console", (message) => {
      if (message.type() === "error") seen.consoleErrors.push(message.text());
    });
    page.on("pageerror", (error) => seen.consoleErrors.push(String(error)));
    page.on("requestfailed", (request) =>
      seen.failed.push(`${request.url()}: ${request.failure()?.errorText}`));
    page.on("response", (response) => {
      if (response.status() >= 400) seen.failed.push(`${response.url()}: ${response.status()}`);
    });
    const response = await page.goto(base + spec.slice(name.length + 1),
      { waitUntil: "load", timeout: 90000 });
    const found = await page.evaluate(inspect);
    for (const link of found.links) Object.assign(link, await answer(link.href));
    for (const submit of found.submits) Object.assign(submit, await answer(submit.url));
    await page.screenshot({ path: `${shots}/${name}.png`, fullPage: true });
    report[name] = { status: response.status(), ...seen, ...found };
    await page.close();
  }
} catch (error) {
  process.stderr.write(`browser.mjs: ${error}\n`);
  await browser.close();
  process.exit(2);
}
await browser.close();
process.stdout.write(JSON.stringify(report, null, 1) + "\n");
