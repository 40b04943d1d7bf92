// The run command's browser path, as a newcomer without a display meets
// it: Debian's chromium opens the noVNC page that scripts/run.sh printed,
// and everything the user does goes through that page: a right-click on
// the tray icon, "Parametri", the user, password and drive typed in,
// "Salva", then "Connetti", which opens Explorer on the drive with the
// success balloon, and "Esci". The X display behind the page is only looked
// at (xdotool), to know where the windows are and when a step is done.
// Every step waits for a condition with a deadline and leaves a screenshot
// of the page.
//
// Environment: QLX_WALK_URL (the noVNC address), QLX_WALK_DISPLAY (the X
// display behind it), QLX_WALK_PREFIX (the program's Wine prefix),
// QLX_WALK_SHOTS (the screenshot folder), QLX_WALK_NET_LOG (the stand-in
// net.exe's log), QLX_WALK_QLXCTL, QLX_WINE, DEMO_USER, DEMO_PASSWORD,
// QLX_WALK_EXPECTED (the served folder's entries, "|" between them),
// QLX_WALK_SCRIPTS (the scripts folder), QLX_WALK_RUN_PID (the run command,
// which ends with the program).
import { chromium } from 'playwright-core';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, existsSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const env = process.env;
for (const name of ['QLX_WALK_URL', 'QLX_WALK_DISPLAY', 'QLX_WALK_PREFIX', 'QLX_WALK_SHOTS', 'QLX_WALK_NET_LOG',
  'QLX_WALK_QLXCTL', 'QLX_WINE', 'DEMO_USER', 'DEMO_PASSWORD', 'QLX_WALK_EXPECTED', 'QLX_WALK_SCRIPTS',
  'QLX_WALK_RUN_PID']) {
  if (!env[name]) throw new Error(`${name} is not set (tests/browser/browser_walk.sh sets it)`);
}
const DRIVE = 'Q:';
const SCALE = Number(env.QLX_E2E_TIME_SCALE || '1');
const shots = env.QLX_WALK_SHOTS;
mkdirSync(shots, { recursive: true });

// ------------------------------------------------------------ the display

const xenv = { ...env, DISPLAY: env.QLX_WALK_DISPLAY, WINEPREFIX: env.QLX_WALK_PREFIX };
function run(file, args) {
  try {
    return execFileSync(file, args, { env: xenv, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).trim();
  } catch {
    return '';
  }
}
const xdotool = (...args) => run('xdotool', args.map(String));
function geometry(id) {
  const g = {};
  for (const line of xdotool('getwindowgeometry', '--shell', id).split('\n')) {
    const [k, v] = line.split('=');
    if (v !== undefined) g[k] = Number(v);
  }
  return 'X' in g ? { x: g.X, y: g.Y, w: g.WIDTH, h: g.HEIGHT } : null;
}
const visible = (...search) => xdotool('search', '--onlyvisible', ...search).split('\n').filter(Boolean);
const title = (id) => xdotool('getwindowname', id);
// The tray, found once (before any balloon, which looks much like it under
// Wine 10) and kept while it lasts.
let tray = '';
function trayWindow() {
  if (!tray || !geometry(tray)) {
    tray = run('bash', ['-c', '. "$1/lib.sh"; qlx_tray_window "$2"', 'walk', env.QLX_WALK_SCRIPTS,
      env.QLX_WALK_PREFIX]);
  }
  return tray;
}
// The program's popup menu: an untitled window of the program taller than a
// menu bar.
function menuWindow() {
  return visible('--class', '^QLXDrive\\.exe$').find((w) => title(w) === '' && (geometry(w)?.h ?? 0) > 40);
}
const dialogWindow = () => visible('--name', '^Parametri di connessione$')[0];
// The balloon: an untitled window of Wine's tray process other than the tray.
const balloonWindow = () =>
  visible('--class', '^explorer\\.exe$').find((w) => w !== trayWindow() && title(w) === '');
// Explorer on the drive: a titled explorer.exe window other than the tray's.
const explorerWindow = () => visible('--class', '^explorer\\.exe$').find((w) => {
  const t = title(w);
  return t !== '' && t !== 'Wine System Tray' && t !== 'Default IME';
});
const netLines = () => (existsSync(env.QLX_WALK_NET_LOG) ? readFileSync(env.QLX_WALK_NET_LOG, 'utf8') : '')
  .split('\n').filter(Boolean);
const wine = (...args) => run(env.QLX_WINE, args).replace(/\r/g, '');

// ------------------------------------------------------------------ steps

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
let page;
let step = 0;
let stepName = 'start';
// The page once it has stopped changing (two captures alike, at most 5 s):
// noVNC paints the display's updates a moment after they happen.
async function shot(name) {
  const path = join(shots, `${String(step).padStart(2, '0')}-${name}.png`);
  let last = await page.screenshot();
  for (const deadline = Date.now() + 5000; Date.now() < deadline;) {
    await sleep(250);
    const next = await page.screenshot();
    if (next.equals(last)) break;
    last = next;
  }
  writeFileSync(path, last);
}
async function waitFor(what, seconds, predicate) {
  const deadline = Date.now() + seconds * 1000 * SCALE;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`no ${what} within ${seconds * SCALE} s`);
    await sleep(200);
  }
}
function begin(name, text) {
  step += 1;
  stepName = name;
  console.log(`walk ${String(step).padStart(2, '0')} ${name}: ${text}`);
}

// Screen point -> page point, through the noVNC canvas (which may be
// scaled or offset in the page).
async function screenToPage(x, y) {
  const canvas = page.locator('canvas').first();
  const box = await canvas.boundingBox();
  const size = await canvas.evaluate((c) => [c.width, c.height]);
  return [box.x + (x * box.width) / size[0], box.y + (y * box.height) / size[1]];
}
async function click(x, y, button = 'left') {
  const [px, py] = await screenToPage(x, y);
  await page.mouse.move(px, py);
  await page.mouse.click(px, py, { button });
}

// Opens the tray menu with a right-click on the program's icon (the first
// cell of Wine's tray) and returns the menu's geometry.
async function openMenu() {
  const g = geometry(await waitFor('tray', 60, trayWindow));
  // A click that comes while the display is busy may be lost: a few tries.
  for (let attempt = 1; ; attempt++) {
    await click(g.x + 10, g.y + g.h - 10, 'right');
    try {
      const menu = await waitFor('tray menu', 10, menuWindow);
      return geometry(menu);
    } catch (error) {
      if (attempt === 3) throw error;
    }
  }
}
// The menu's items: Parametri, a separator, Connetti, Disconnetti, a
// separator, Esci. Separators are a fixed part of an item's height.
function itemCentre(menu, index) {
  const separator = 0.45; // of an item's height
  const item = (menu.h - 6) / (4 + 2 * separator);
  const offsets = [0, 1 + separator, 2 + separator, 3 + 2 * separator];
  return [menu.x + 30, menu.y + 3 + item * (offsets[index] + 0.5)];
}
async function choose(index) {
  const menu = await openMenu();
  await shot(`menu-${index}`);
  const [x, y] = itemCentre(menu, index);
  await click(x, y);
  await waitFor('closed menu', 15, () => !menuWindow());
}
const keys = async (...names) => {
  for (const k of names) {
    await page.keyboard.press(k);
    await sleep(80); // the keys' own pace through VNC, not a wait for anything
  }
};

async function walk() {
  begin('connect', 'the noVNC page connects to the display');
  await page.goto(env.QLX_WALK_URL);
  await waitFor('connected noVNC canvas', 60, () => page.evaluate(() => {
    const c = document.querySelector('canvas');
    return c !== null && c.width >= 640 && c.height >= 480;
  }));
  // The program starts in a fresh prefix, slowly on a busy machine.
  await waitFor('the tray on the page', 180, trayWindow);
  // The run command drags its tray bar to the bottom left once it appears.
  const screenHeight = Number(xdotool('getdisplaygeometry').split(' ')[1]);
  await waitFor('the tray bar at the bottom', 60, () => {
    const g = geometry(trayWindow());
    return g && g.y + g.h >= screenHeight - 2;
  });
  await shot('connected');

  begin('menu', 'a right-click on the tray icon opens the menu');
  await openMenu();
  await shot('menu');
  // Away again: Esc through the page closes the menu.
  await page.keyboard.press('Escape');
  if (menuWindow()) {
    const bar = geometry(trayWindow());
    await click(bar.x + bar.w + 200, 300);
  }
  await waitFor('closed menu', 15, () => !menuWindow());

  begin('dialog', '"Parametri" shows the dialog');
  await choose(0);
  const dialog = await waitFor('dialog', 30, dialogWindow);
  const d = geometry(dialog);
  await shot('dialog');

  begin('filled', 'the user, the password and the drive typed in, then "Salva"');
  // A click on the caption gives the dialog the keyboard; the focus starts
  // on "Salva", and the user, password and drive fields follow the buttons.
  await click(d.x + 80, d.y + 10);
  await keys('Tab', 'Tab', 'Tab', 'Tab');
  await page.keyboard.type(env.DEMO_USER, { delay: 60 });
  await keys('Tab');
  await page.keyboard.type(env.DEMO_PASSWORD, { delay: 60 });
  await keys('Tab');
  await page.keyboard.type(DRIVE[0], { delay: 60 }); // the combo box completes the colon
  await shot('filled');
  await keys('Tab', 'Tab', 'Tab', 'Space');
  await waitFor('closed dialog', 15, () => !dialogWindow());
  const stored = wine(env.QLX_WALK_QLXCTL, 'load', '--show-password').split('\n');
  for (const want of [`PathDrive=${DRIVE}`, `User=${env.DEMO_USER}`, `Password=${env.DEMO_PASSWORD}`]) {
    if (!stored.includes(want)) throw new Error(`the registry does not hold ${want}: ${JSON.stringify(stored)}`);
  }
  await shot('saved');

  begin('connetti', '"Connetti" opens Explorer on the drive, with the success balloon');
  const before = netLines().length;
  await choose(1);
  // First the letter is freed (/DELETE), then the connect line comes.
  const line = await waitFor('NET USE connect line', 60,
    () => netLines().slice(before).find((l) => / NET USE Q: http/.test(l)));
  if (!/^[0-9]+ 0 NET USE Q: http/.test(line)) throw new Error(`the connect did not succeed: ${line}`);
  const explorer = await waitFor('Explorer on the drive', 60, explorerWindow);
  await waitFor('the success balloon', 30, balloonWindow);
  const listing = wine('cmd', '/c', 'dir', '/b', `${DRIVE}\\`).split('\n').filter(Boolean).sort();
  const expected = env.QLX_WALK_EXPECTED.split('|').sort();
  if (JSON.stringify(listing) !== JSON.stringify(expected))
    throw new Error(`${DRIVE} lists ${JSON.stringify(listing)}, the server's folder ${JSON.stringify(expected)}`);
  console.log(`Explorer: "${title(explorer)}"; ${DRIVE} lists ${listing.join(', ')}`);
  await shot('explorer-balloon');

  begin('esci', '"Esci" removes the mapping and ends the program');
  // The run command keeps its tray bar where Wine opens no window: "Esci"
  // is reached without moving one.
  const e = geometry(explorer);
  const bar = geometry(trayWindow());
  if (e.x < bar.x + bar.w && bar.x < e.x + e.w && e.y < bar.y + bar.h && bar.y < e.y + e.h)
    throw new Error(`Explorer ${JSON.stringify(e)} covers the tray bar ${JSON.stringify(bar)}`);
  await shot('explorer');
  await choose(3);
  await waitFor('the run command to end with the program', 60, () => {
    try {
      process.kill(Number(env.QLX_WALK_RUN_PID), 0);
      return false;
    } catch {
      return true;
    }
  });
  await shot('esci');
}

const profile = mkdtempSync(join(tmpdir(), 'qlx-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  viewport: { width: 1400, height: 900 },
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
let status = 0;
try {
  page = context.pages()[0] ?? (await context.newPage());
  await walk();
  console.log(`walk: all ${step} steps passed; screenshots in ${shots}`);
} catch (error) {
  status = 1;
  console.error(`walk ${String(step).padStart(2, '0')} ${stepName} FAILED: ${error.message}`);
  try {
    await shot(`failed-${stepName}`);
  } catch { /* the report of a failure must not hide it */ }
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
process.exit(status);
