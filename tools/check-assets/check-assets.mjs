// Loads the generated movies in a real Flash engine (the Ruffle web player in headless
// Chromium) and checks what such an engine can show:
//   - the player movie starts and registers its external-interface functions playflv/stopflv
//   - with its flv variables set (from a wrapper movie, since the page API has no
//     SetVariable) it requests the named skin and video
//   - each skin loads and draws
// Usage: node check-assets.mjs MOVIEDIR WRAPPER.swf NODE_MODULES
// Prints one line per check ("ok ..." / "FAILED ...") and exits 1 when any check failed.
import http from "node:http";
import fs from "node:fs";
import path from "node:path";
import { createRequire } from "node:module";

const [movieDir, wrapperFile, nodeModules] = process.argv.slice(2);
const require = createRequire(path.join(nodeModules, "x.js"));
const { chromium } = require("playwright-core");
const ruffleDir = path.join(nodeModules, "@ruffle-rs", "ruffle");

const SKINS = ["ClearOverAll.swf", "SteelOverAll.swf", "MojaveOverAll.swf", "ArcticOverAll.swf"];
const requests = [];
let failures = 0;
const report = (ok, what) => {
    if (!ok) failures++;
    console.log(`${ok ? "ok" : "FAILED"}  ${what}`);
};

const page = (swf) => `<!doctype html><html><body style="margin:0;background:#ff00ff">
<script>window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
  allowScriptAccess: true, letterbox: "off", logLevel: "warn", preferredRenderer: "canvas", publicPath: "/ruffle/"};</script>
<script src="/ruffle/ruffle.js"></script>
<div id="stage" style="width:320px;height:280px"></div>
<script>
  const player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  player.style.width = "320px"; player.style.height = "280px";
  document.getElementById("stage").appendChild(player);
  player.load({url: "/${swf}"});
</script></body></html>`;

const types = { ".js": "text/javascript", ".wasm": "application/wasm", ".swf": "application/x-shockwave-flash" };
const server = http.createServer((req, res) => {
    const full = new URL(req.url, "http://127.0.0.1");
    const url = decodeURIComponent(full.pathname);
    requests.push(url);
    let file = null;
    // The page sits beside the movies, so relative names a movie loads resolve among them.
    if (url === "/index.html") {
        res.writeHead(200, { "content-type": "text/html" });
        return res.end(page(full.searchParams.get("swf")));
    }
    if (url.startsWith("/ruffle/")) file = path.join(ruffleDir, path.basename(url));
    else if (url === "/wrapper.swf") file = wrapperFile;
    else if (url.endsWith(".swf")) file = path.join(movieDir, path.basename(url));
    else if (url === "/clip.flv") {
        // An FLV header with no tags: enough for the request to be seen.
        res.writeHead(200, { "content-type": "video/x-flv" });
        return res.end(Buffer.from([0x46, 0x4c, 0x56, 1, 5, 0, 0, 0, 9, 0, 0, 0, 0]));
    }
    if (!file || !fs.existsSync(file)) {
        res.writeHead(404);
        return res.end();
    }
    res.writeHead(200, { "content-type": types[path.extname(file)] || "application/octet-stream" });
    fs.createReadStream(file).pipe(res);
});
await new Promise((r) => server.listen(0, "127.0.0.1", r));
const base = `http://127.0.0.1:${server.address().port}`;

const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
});

const log = [];
async function open(swf) {
    const p = await browser.newPage({ viewport: { width: 320, height: 280 } });
    p.on("console", (m) => log.push(`[${swf}] ${m.type()}: ${m.text()}`));
    p.on("pageerror", (e) => log.push(`[${swf}] page error: ${e.message}`));
    await p.goto(`${base}/index.html?swf=${swf}`);
    return p;
}
const until = async (fn, ms) => {
    for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 200)))
        if (await fn()) return true;
    return false;
};
const requested = (name) => requests.some((r) => r === `/${name}`);

try {
    // 1. The player movie on its own: starts, registers the two callbacks, asks for its default skin.
    {
        const p = await open("flvplayback.swf");
        const registered = await until(() => p.evaluate(() => {
            const pl = document.getElementById("player");
            return typeof pl.playflv === "function" && typeof pl.stopflv === "function";
        }), 20000);
        report(registered, "flvplayback.swf starts and registers playflv and stopflv");
        if (registered) {
            const calls = await p.evaluate(() => {
                const pl = document.getElementById("player");
                try { pl.stopflv(); pl.playflv(); return "called"; } catch (e) { return String(e); }
            });
            report(calls === "called", `playflv/stopflv can be called from the page (${calls})`);
        }
        report(await until(async () => requested("ClearOverAll.swf"), 10000),
               "flvplayback.swf requests its default skin ClearOverAll.swf");
        await p.close();
    }
    // 2. Loaded by the wrapper, which sets flv.skin, flv.volume and flv.contentPath.
    {
        const p = await open("wrapper.swf");
        report(await until(async () => requested("flvplayback.swf") && requested("SteelOverAll.swf"), 20000),
               "with flv.skin set, the player movie requests SteelOverAll.swf");
        report(await until(async () => requested("clip.flv"), 10000),
               "with flv.contentPath set, the player movie requests clip.flv");
        await p.close();
    }
    // 3. Each skin draws: the stage shows several colours besides the page's magenta.
    for (const skin of SKINS) {
        const p = await open(skin);
        await until(() => p.evaluate(() => !!document.getElementById("player").shadowRoot), 10000);
        await new Promise((r) => setTimeout(r, 3000));
        // The bar is scaled into the middle of the 320 x 280 player; look at all of it.
        const png = await p.screenshot({ clip: { x: 0, y: 0, width: 320, height: 280 } });
        const colours = await p.evaluate(async (b64) => {
            const img = new Image();
            img.src = "data:image/png;base64," + b64;
            await img.decode();
            const c = document.createElement("canvas");
            c.width = img.width; c.height = img.height;
            const g = c.getContext("2d");
            g.drawImage(img, 0, 0);
            const d = g.getImageData(0, 0, c.width, c.height).data;
            const seen = new Set();
            for (let i = 0; i < d.length; i += 4) seen.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
            seen.delete(0xff00ff);
            return seen.size;
        }, png.toString("base64"));
        fs.writeFileSync(path.join(path.dirname(wrapperFile), skin.replace(".swf", ".png")), png);
        report(colours >= 3, `${skin} loads and draws (${colours} colours on the stage)`);
        await p.close();
    }
} finally {
    await browser.close();
    server.close();
}
console.log("requests seen: " + [...new Set(requests.filter((r) => !r.startsWith("/ruffle/") && r !== "/index.html"))].join(" "));
if (failures) {
    console.log("engine messages:\n" + log.join("\n"));
}
console.log(`${failures ? "FAILED" : "passed"}: check-assets`);
process.exit(failures ? 1 : 0);
