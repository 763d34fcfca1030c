// `tiller view` in a real browser: Debian's chromium, headless, driven by playwright-core
// against the server on a free loopback port. The mouse moves over the canvas as a person's
// would; what the page shows is checked against the server's own answers.
//
// TILLER_BIN names the tiller program; TILLER_PROFILES the folder of the shipped profiles;
// TILLER_VIEW_SCREENSHOT, when set, where the screenshot for the README goes.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const root = fileURLToPath(new URL('../..', import.meta.url));
const profile = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tiller-view-')), 'Edited.qvw');
const original = fs.readFileSync(path.join(process.env.TILLER_PROFILES, 'UniversalCtrl.qvw'), 'utf8');
let server, url, browser, page;
const pageErrors = [];

before(async () => {
  fs.writeFileSync(profile, original);
  server = spawn(process.env.TILLER_BIN,
    ['view', path.join(root, 'examples/bracket.json'), '--profile', profile, '--port', '0'],
    {stdio: ['ignore', 'pipe', 'inherit']});
  url = await new Promise((resolve, reject) => {
    server.stdout.once('data', d => resolve(String(d).trim()));
    server.once('exit', code => reject(new Error(`tiller view exited with ${code}`)));
  });
  assert.match(url, /^http:\/\/127\.0\.0\.1:\d+\/$/);
  browser = await chromium.launch({executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader']});
  page = await browser.newPage({viewport: {width: 1100, height: 700}});
  page.on('console', m => m.type() === 'error' && pageErrors.push(m.text()));
  page.on('pageerror', e => pageErrors.push(e.message));
  await page.goto(url);
  await settle();
});

after(async () => {
  await browser?.close();
  fs.rmSync(path.dirname(profile), {recursive: true, force: true});
  if (!server) return;
  const stopped = new Promise(resolve => server.once('exit', resolve));
  server.kill('SIGINT');
  assert.equal(await stopped, 0, 'Ctrl+C stops the server cleanly');
});

// A request of the server's API, made as any client would (node:http lets a test name another Host).
function api(name, body = {}, headers = {}) {
  const text = typeof body === 'string' ? body : JSON.stringify(body);
  return new Promise((resolve, reject) => {
    const req = http.request(`${url}api/${name}`, {method: 'POST', headers}, res => {
      let answer = '';
      res.on('data', d => (answer += d));
      res.on('end', () => resolve({status: res.statusCode, body: JSON.parse(answer)}));
    });
    req.on('error', reject);
    req.end(text);
  });
}

// Editors replace a file whole; so does the test, so that the server never reads half of one.
function rewrite(text) {
  fs.writeFileSync(`${profile}.new`, text);
  fs.renameSync(`${profile}.new`, profile);
}

const state = async () => (await api('state')).body;

// Every request the page made answered and drawn.
async function settle() {
  await page.waitForFunction(() => window.tillerView?.settled() && window.tillerView.drawn.count > 0);
}

async function pointAt(p) {
  const box = await page.locator('#view').boundingBox();
  await page.mouse.move(box.x + Math.floor(p[0]) + 0.5, box.y + Math.floor(p[1]) + 0.5);
  await settle();
}

// Walks out from the control's reference point along a world direction, on the pixels the
// server maps it to, until the status line names the handle.
async function findHandle(name, direction) {
  const ref = (await state()).selection.refPoint;
  const {pixels: [a, b]} = (await api('pixels', {points: [ref, ref.map((v, i) => v + direction[i])]})).body;
  const length = Math.hypot(b[0] - a[0], b[1] - a[1]);
  const unit = [(b[0] - a[0]) / length, (b[1] - a[1]) / length];
  for (let d = 8; d <= 400; d += 3) {
    const p = [a[0] + unit[0] * d, a[1] + unit[1] * d];
    await pointAt(p);
    if ((await page.getAttribute('#status', 'data-handle')) === name) return {pixel: p, unit};
  }
  assert.fail(`no pixel along ${direction} shows ${name}`);
}

async function canvasShot(clip) {
  // The canvas's own pixels: a screenshot would also take the page's dithered background, which
  // the browser may raster differently from one shot to the next.
  const url = await page.evaluate(c => {
    const view = document.getElementById('view');
    if (!c) return view.toDataURL();
    const out = document.createElement('canvas');
    out.width = out.height = 16;
    out.getContext('2d').drawImage(view, c[0] - 8, c[1] - 8, 16, 16, 0, 0, 16, 16);
    return out.toDataURL();
  }, clip ?? null);
  return Buffer.from(url.slice(url.indexOf(',') + 1), 'base64');
}

async function dragBy(from, delta, steps) {
  await pointAt(from);
  await page.mouse.down();
  for (let i = 1; i <= steps; i++) await pointAt(from.map((v, k) => v + delta[k] * i / steps));
}

const fixed = v => (Math.abs(v) < 5e-7 ? 0 : v).toFixed(4);
const angleOf = m => Math.acos(Math.min(1, (m[0] + m[5] + m[10] - 1) / 2)) * 180 / Math.PI;

test('the page loads with no console error and hovering the X arrow lights it', async () => {
  assert.deepEqual(pageErrors, []);
  const {pixel} = await findHandle('AxisX', [1, 0, 0]);
  const lit = await canvasShot(pixel);
  await pointAt([5, 5]);
  assert.equal(await page.getAttribute('#status', 'data-handle'), '');
  assert.notDeepEqual(await canvasShot(pixel), lit, 'the arrow looks different under the pointer');
  await pointAt(pixel);
  if (process.env.TILLER_VIEW_SCREENSHOT) await page.screenshot({path: process.env.TILLER_VIEW_SCREENSHOT});
});

// What the server does with a drag (cancel, apply, undo) is checked without the browser
// (tests/tools/test_viewer.cpp); here the page's keys and mouse reach it.
test('dragging the X arrow moves the model live, Esc cancels, release applies, Ctrl+Z undoes', async () => {
  const start = await state();
  const {pixel, unit} = await findHandle('AxisX', [1, 0, 0]);
  const before = await canvasShot();

  await dragBy(pixel, [unit[0] * 30, unit[1] * 30], 3);
  await page.keyboard.press('Escape');
  await settle();
  assert.deepEqual((await state()).selection, start.selection, 'a cancelled drag applies nothing');

  await dragBy(pixel, [unit[0] * 60, unit[1] * 60], 6);
  const s = await state();
  assert.equal(await page.textContent('#readout-move'), s.mDrag.slice(12, 15).map(fixed).join(', '));
  assert.notDeepEqual(await canvasShot(), before, 'the model follows the drag');
  await page.mouse.up();
  await settle();
  assert.equal((await state()).undo, 1);

  await page.keyboard.press('Control+z');
  await settle();
  assert.equal((await state()).undo, 0);
});

test('turning the Z ring with 15° snapping gives a multiple of 15°', async () => {
  await page.fill('#snap-rotate', '15');
  await page.locator('#snap-rotate').dispatchEvent('change');
  await settle();
  const {pixel, unit} = await findHandle('RotateZ', [-Math.SQRT1_2, -Math.SQRT1_2, 0]);
  await dragBy(pixel, [-unit[1] * 80, unit[0] * 80], 8);
  const s = await state();
  const angle = angleOf(s.mDrag);
  assert.ok(angle > 1 && Math.abs(angle / 15 - Math.round(angle / 15)) < 1e-6, `angle ${angle}`);
  assert.match(await page.textContent('#readout-turn'), new RegExp(`^${angle.toFixed(2)}°`));
  await page.mouse.up();
  await settle();
  await page.fill('#snap-rotate', '0');
  await page.locator('#snap-rotate').dispatchEvent('change');
  await settle();
});

test('after a view preset and a window resize the arrow is still found where the server says', async () => {
  await page.click('button[data-preset=front]');
  await settle();
  await findHandle('AxisX', [1, 0, 0]);
  await page.setViewportSize({width: 900, height: 560});
  await page.waitForFunction(() => {
    const c = document.getElementById('view');
    return c.width === Math.floor(c.getBoundingClientRect().width) && window.tillerView.settled();
  });
  await findHandle('AxisX', [1, 0, 0]);
});

test('the profile file rewritten on disk shows within 2 seconds; a broken one keeps the last', async () => {
  await pointAt([5, 5]);
  const red = await canvasShot();
  const drawing = JSON.parse(original);
  // The arrow's meshes only: the coordinate-system lines name its axes by their colours.
  const recolour = g => {
    if (g.kind === 18) g.pen = '0xFF00FF';
    (g.children ?? []).forEach(recolour);
  };
  const handles = [];
  const walk = g => (g.properties?.some(([k, v]) => k === 'handle_name' && v === 'AxisX') ? handles.push(g)
    : (g.children ?? []).forEach(walk));
  walk(drawing.root);
  assert.equal(handles.length, 1);
  recolour(handles[0]);
  const loads = (await state()).profileLoads;
  rewrite(JSON.stringify(drawing));
  const deadline = Date.now() + 2000;
  while ((await state()).profileLoads === loads || Buffer.compare(await canvasShot(), red) === 0) {
    assert.ok(Date.now() < deadline, 'the new colour shows within 2 seconds');
    await page.waitForTimeout(50);
  }

  rewrite('{"format": "qvw", "version": 2, "root": {"kind": 7}}');
  await page.waitForFunction(() => document.getElementById('profile-error').textContent !== '', null,
    {timeout: 2000});
  assert.match(await page.textContent('#profile-error'), /version/);
  await findHandle('AxisX', [1, 0, 0]);
  rewrite(original);
  await page.waitForFunction(() => document.getElementById('profile-error').textContent === '', null,
    {timeout: 2000});
});

test('requests that only HTTP can get wrong are refused and change nothing', async () => {
  // The profile reloaded by the test before may still be reaching the page: wait until the
  // page holds the server's last reload, then for a still picture to compare against.
  const {profileLoads} = await state();
  await page.waitForFunction(n => window.tillerView.status()?.profileLoads === n && window.tillerView.settled(),
    profileLoads);
  let picture = await canvasShot();
  for (let still = false, tries = 0; !still && tries < 20; tries++) {
    await page.waitForTimeout(400);
    const next = await canvasShot();
    still = Buffer.compare(next, picture) === 0;
    picture = next;
  }
  const s = await state();
  // The reasons of malformed requests are checked without the browser; here what only HTTP has.
  for (const [name, body, headers, status] of [
    ['pointer', 'not json', {}, 400],
    ['state', {}, {Host: 'rebound.example:80'}, 403],
  ]) {
    const answer = await api(name, body, headers);
    assert.equal(answer.status, status, `${name} ${JSON.stringify(body)}`);
    assert.match(answer.body.error, /^[^\n]+$/);
  }
  assert.equal((await fetch(`${url}api/state`)).status, 404, 'requests are POSTs');
  assert.deepEqual(await state(), s);
  assert.deepEqual(await canvasShot(), picture);
});

test('a pointer move round trip on loopback (benchmark, printed)', async t => {
  const {pixel} = await findHandle('AxisX', [1, 0, 0]);
  const times = [];
  for (let i = 0; i < 200; i++) {
    const started = performance.now();
    await api('pointer', {type: 'move', x: i % 2 ? pixel[0] : 5, y: i % 2 ? pixel[1] : 5});
    times.push(performance.now() - started);
  }
  times.sort((a, b) => a - b);
  t.diagnostic(`pointer move round trip: median ${times[100].toFixed(3)} ms, ` +
    `90th percentile ${times[180].toFixed(3)} ms (200 moves on and off the X arrow, full profile)`);
  assert.deepEqual(pageErrors, []);
});

// A file dropped on the page, as the browser hands it over.
async function drop(name, bytes) {
  const dataTransfer = await page.evaluateHandle(([base64, fileName]) => {
    const data = new DataTransfer();
    data.items.add(new File([Uint8Array.from(atob(base64), c => c.charCodeAt(0))], fileName));
    return data;
  }, [bytes.toString('base64'), name]);
  await page.dispatchEvent('#view', 'drop', {dataTransfer});
}

async function click(pixel, ctrl = false) {
  await pointAt(pixel);
  if (ctrl) await page.keyboard.down('Control');
  await page.mouse.down();
  await page.mouse.up();
  if (ctrl) await page.keyboard.up('Control');
  await settle();
  return state();
}

// Last: it replaces the model the tests above drag.
test('a dropped file opens; a click selects a part, Ctrl+click adds one, a click on nothing clears', async () => {
  await drop('notes.txt', Buffer.from('not a model'));
  await page.waitForFunction(() => /^notes\.txt: not a model file/.test(document.getElementById('model-error').textContent));
  await page.click('button[data-preset=iso]');
  await drop('assembly.step', fs.readFileSync(path.join(root, 'examples/assembly.step')));
  await page.waitForFunction(() => /parts/.test(document.getElementById('model').textContent));
  await settle();
  assert.equal(await page.textContent('#model-error'), '');
  let s = await state();
  assert.deepEqual(s.selected, {count: 1, names: ['bracket-assembly_1']});
  const {pixel: arrow} = await findHandle('AxisX', [1, 0, 0]);

  s = await click([5, 5]);
  assert.deepEqual(s.selected, {count: 0, names: []});
  assert.equal(s.selection, undefined);
  await pointAt(arrow);
  assert.equal(await page.getAttribute('#status', 'data-handle'), '', 'the control is hidden');

  // The lever's top, and the base plate's corner far from it, as the server maps them.
  const [lever, plate] = (await api('pixels', {points: [[154, 35, 81], [5, 5, 10]]})).body.pixels;
  s = await click(lever);
  assert.deepEqual(s.selected.names, ['bracket-assembly_1/lever_1']);
  assert.ok(s.selection.refPoint[0] > 148, `the control stands on the lever: ${s.selection.refPoint}`);
  await pointAt(plate);
  assert.equal(await page.getAttribute('#status', 'data-handle'), '', 'no handle over the plate');
  s = await click(plate, true);
  assert.deepEqual(s.selected.names, ['bracket-assembly_1/lever_1', 'bracket-assembly_1/base-plate_1']);
  assert.ok(s.selection.refPoint[0] < 100, `the control stands on both: ${s.selection.refPoint}`);

  s = await click([5, 5]);
  assert.equal(s.selected.count, 0);
  assert.deepEqual(pageErrors.filter(e => !/status of 400/.test(e)), [], 'only the refused file\'s answer');
});
