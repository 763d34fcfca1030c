// The page of `tiller view`. The server owns the scene; this page draws what it answers (the
// model and the display elements, each with its geometry, look and matrix, through the
// server's own camera) and turns the mouse and the keyboard into its requests, one at a time.
//
// [SECTION] Drawing
// [SECTION] Talking to the server
// [SECTION] Mouse and keys
// [SECTION] Panel
// [SECTION] Dropped files
import * as THREE from 'three';

const canvas = document.getElementById('view');
const statusLine = document.getElementById('status');

// [SECTION] Drawing ----------------------------------------------------------------------------

THREE.ColorManagement.enabled = false;
const renderer = new THREE.WebGLRenderer({canvas, alpha: true, preserveDrawingBuffer: true});
renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
renderer.autoClear = false;
renderer.setClearColor(0x000000, 0);

// Flat shading as the reference host's renderer does it: a light over the viewer's left
// shoulder in view coordinates, ambient + Lambert diffuse + Blinn specular, both faces lit.
const faceShader = {
  vertexShader: `
    attribute vec3 color;
    varying vec3 vColor;
    varying vec3 vView;
    void main() {
      vec4 v = modelViewMatrix * vec4(position, 1.0);
      vView = v.xyz;
      vColor = color;
      gl_Position = projectionMatrix * v;
    }`,
  fragmentShader: `
    uniform float ambient, diffuse, specular, opacity, perspective;
    varying vec3 vColor;
    varying vec3 vView;
    void main() {
      vec3 n = normalize(cross(dFdx(vView), dFdy(vView)));
      vec3 toViewer = perspective > 0.5 ? normalize(-vView) : vec3(0.0, 0.0, 1.0);
      if (dot(n, toViewer) < 0.0) n = -n;
      vec3 light = normalize(vec3(-0.35, 0.45, 1.0));
      float lambert = max(0.0, dot(n, light));
      float blinn = pow(max(0.0, dot(n, normalize(light + toViewer))), 32.0);
      gl_FragColor = vec4(vColor * (ambient + diffuse * lambert) + specular * blinn, opacity);
    }`,
};

const layers = new Map(); // draw priority -> THREE.Scene, drawn in rising order
const items = new Map();  // item id -> {group, faces, lines, priority}
let camera = null;
let cameraInfo = null;
let grid = null;
const drawn = {count: 0}; // read by the tests

function layer(priority) {
  if (!layers.has(priority)) layers.set(priority, new THREE.Scene());
  return layers.get(priority);
}

// 0x00BBGGRR colours, one per primitive, spread over its `corners` vertices.
function colorArray(colors, corners) {
  const out = new Float32Array(colors.length * corners * 3);
  colors.forEach((c, i) => {
    for (let k = 0; k < corners; k++)
      out.set([(c & 255) / 255, ((c >> 8) & 255) / 255, ((c >> 16) & 255) / 255], (i * corners + k) * 3);
  });
  return out;
}

function buffer(positions, colors, corners) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.Float32BufferAttribute(positions, 3));
  g.setAttribute('color', new THREE.BufferAttribute(colorArray(colors, corners), 3));
  return g;
}

function addItem({id, geometry}) {
  const group = new THREE.Group();
  group.matrixAutoUpdate = false;
  const faces = new THREE.Mesh(buffer(geometry.triangles, geometry.triangleColors, 3),
    new THREE.ShaderMaterial({
      ...faceShader, side: THREE.DoubleSide, polygonOffset: true, polygonOffsetFactor: 1,
      polygonOffsetUnits: 1,
      uniforms: {ambient: {value: 0}, diffuse: {value: 0}, specular: {value: 0},
                 opacity: {value: 1}, perspective: {value: cameraInfo?.perspective ? 1 : 0}},
    }));
  const lines = new THREE.LineSegments(buffer(geometry.segments, geometry.segmentColors, 2),
    new THREE.LineBasicMaterial({vertexColors: true}));
  group.add(faces, lines);
  group.visible = false;
  items.get(id)?.group.removeFromParent();
  items.set(id, {group, faces, lines, priority: null});
}

function removeItem(id) {
  const item = items.get(id);
  if (!item) return;
  item.group.removeFromParent();
  for (const part of [item.faces, item.lines]) {
    part.geometry.dispose();
    part.material.dispose();
  }
  items.delete(id);
}

function setLook(id, look) {
  const item = items.get(id);
  if (!item) return;
  item.group.matrix.fromArray(look.matrix);
  item.group.matrixWorldNeedsUpdate = true;
  const u = item.faces.material.uniforms;
  u.ambient.value = look.ambient;
  u.diffuse.value = look.diffuse;
  u.specular.value = look.specular;
  u.opacity.value = look.opacity;
  const clear = look.opacity < 1;
  for (const m of [item.faces.material, item.lines.material]) {
    m.transparent = clear;
    m.depthWrite = !clear;
  }
  item.lines.material.opacity = look.opacity;
  if (item.priority !== look.priority) {
    layer(look.priority).add(item.group);
    item.priority = look.priority;
  }
}

function showOnly(ids) {
  const shown = new Set(ids);
  for (const [id, item] of items) item.group.visible = shown.has(id);
}

// The server's camera as it is: its view matrix, and pixels of the same size.
function setCamera(c) {
  cameraInfo = c;
  const distance = Math.hypot(...c.eye.map((e, i) => e - c.target[i]));
  if (c.perspective) {
    camera = new THREE.PerspectiveCamera(c.fovY, c.width / c.height, distance * 1e-3, distance * 1e3);
  } else {
    const w = c.width * c.unitsPerPixel / 2, h = c.height * c.unitsPerPixel / 2;
    const depth = 1e3 * (distance + Math.max(w, h));
    camera = new THREE.OrthographicCamera(-w, w, h, -h, -depth, depth);
  }
  camera.matrixAutoUpdate = false;
  camera.matrix.fromArray(c.view).invert();
  camera.matrixWorldNeedsUpdate = true;
  for (const item of items.values()) item.faces.material.uniforms.perspective.value = c.perspective ? 1 : 0;
  if (renderer.domElement.width !== c.width || renderer.domElement.height !== c.height)
    renderer.setSize(c.width, c.height, false);
  placeGrid(c, distance);
}

// A faint grid on the world XY plane around the target, about 50 pixels a step there.
function placeGrid(c, distance) {
  grid?.removeFromParent();
  const perPixel = c.perspective
    ? distance * 2 * Math.tan(c.fovY * Math.PI / 360) / c.height : c.unitsPerPixel;
  const raw = 50 * perPixel, power = 10 ** Math.floor(Math.log10(raw));
  const step = [1, 2, 5, 10].map(f => f * power).find(s => s >= raw);
  const cx = Math.floor(c.target[0] / step) * step, cy = Math.floor(c.target[1] / step) * step;
  const points = [];
  for (let i = -20; i <= 20; i++) {
    points.push(cx + i * step, cy - 20 * step, 0, cx + i * step, cy + 20 * step, 0);
    points.push(cx - 20 * step, cy + i * step, 0, cx + 20 * step, cy + i * step, 0);
  }
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.Float32BufferAttribute(points, 3));
  grid = new THREE.LineSegments(g, new THREE.LineBasicMaterial(
    {color: new THREE.Color(0.55, 0.57, 0.60), transparent: true, opacity: 0.35, depthWrite: false}));
  grid.renderOrder = 1;
  layer(0).add(grid);
}

// Handles of a higher draw priority are drawn over everything below them. Drawn as soon as an
// answer changed something, and only then: answers come one at a time.
function draw() {
  if (!camera) return;
  renderer.clear();
  for (const priority of [...layers.keys()].sort((a, b) => a - b)) {
    if (priority > 0) renderer.clearDepth();
    renderer.render(layers.get(priority), camera);
  }
  drawn.count++;
}

// [SECTION] Talking to the server --------------------------------------------------------------

let lastStatus = null;

function applyFrame(frame) {
  const changed = frame.camera || frame.remove || frame.add || frame.looks || frame.shown;
  if (frame.camera) setCamera(frame.camera);
  for (const id of frame.remove ?? []) removeItem(id);
  for (const item of frame.add ?? []) addItem(item);
  for (const [id, look] of Object.entries(frame.looks ?? {})) setLook(id, look);
  if (frame.shown) showOnly(frame.shown);
  if (frame.panel) showPanel(frame.panel);
  if (frame.status) showStatus(frame.status);
  if (changed) draw();
}

// Requests go one at a time, in order; pointer moves and view drags waiting their turn are
// merged into the latest one. A body is JSON, or a file sent as it is.
const queue = [];
let busy = false;

function send(name, body = {}, merge = null) {
  const last = queue[queue.length - 1];
  if (merge && last && last.merge === merge) {
    last.body = merge === 'view' ? addDeltas(last.body, body) : body;
    return last.promise;
  }
  const entry = {name, body, merge};
  entry.promise = new Promise(resolve => (entry.resolve = resolve));
  queue.push(entry);
  pump();
  return entry.promise;
}

function addDeltas(a, b) {
  const out = {...a};
  for (const key of ['orbit', 'pan']) if (b[key]) out[key] = (a[key] ?? [0, 0]).map((v, i) => v + b[key][i]);
  return out;
}

async function pump() {
  if (busy || !queue.length) return;
  busy = true;
  const entry = queue.shift();
  let answer = null, ok = false;
  try {
    const file = entry.body instanceof Blob;
    const response = await fetch(file ? `/api/file?name=${encodeURIComponent(entry.body.name)}` : `/api/${entry.name}`,
      {method: 'POST', body: file ? entry.body : JSON.stringify(entry.body)});
    answer = await response.json();
    ok = response.ok;
  } catch (e) {
    statusLine.textContent = `the server does not answer (${e.message})`;
  }
  try {
    if (ok) applyFrame(answer);
    else if (answer) statusLine.textContent = `${entry.name}: ${answer.error}`;
  } finally {
    busy = false;
    entry.resolve(answer);
    pump();
  }
}

function canvasSize() {
  const r = canvas.getBoundingClientRect();
  return {width: Math.max(1, Math.floor(r.width)), height: Math.max(1, Math.floor(r.height))};
}

// [SECTION] Mouse and keys ---------------------------------------------------------------------

let pressed = false;   // a left-button drag of a handle
let viewDrag = null;   // {mode: 'orbit' | 'pan', x, y}

function pixelOf(e) {
  const r = canvas.getBoundingClientRect();
  return {x: Math.floor(e.clientX - r.left), y: Math.floor(e.clientY - r.top)};
}

function pointer(type, e) {
  return {type, ...pixelOf(e), shift: e.shiftKey, ctrl: e.ctrlKey, alt: e.altKey};
}

canvas.addEventListener('contextmenu', e => e.preventDefault());

canvas.addEventListener('pointerdown', e => {
  canvas.focus();
  canvas.setPointerCapture(e.pointerId);
  if (e.button === 0 && !viewDrag) {
    pressed = true;
    send('pointer', pointer('press', e));
  } else if (e.button === 1 || e.button === 2) {
    viewDrag = {mode: e.button === 1 || e.shiftKey ? 'pan' : 'orbit', x: e.clientX, y: e.clientY};
  }
  e.preventDefault();
});

canvas.addEventListener('pointermove', e => {
  if (viewDrag) {
    const dx = e.clientX - viewDrag.x, dy = e.clientY - viewDrag.y;
    viewDrag.x = e.clientX;
    viewDrag.y = e.clientY;
    const body = viewDrag.mode === 'pan' ? {pan: [dx, dy]} : {orbit: [-dx * 0.4, dy * 0.4]};
    send('view', body, 'view');
    return;
  }
  send('pointer', pointer('move', e), 'move');
});

canvas.addEventListener('pointerup', e => {
  if (e.button === 0 && pressed) {
    pressed = false;
    send('pointer', pointer('release', e));
  } else if (viewDrag && (e.button === 1 || e.button === 2)) {
    viewDrag = null;
  }
});

canvas.addEventListener('wheel', e => {
  e.preventDefault();
  const {x, y} = pixelOf(e);
  send('view', {zoom: e.deltaY < 0 ? 1.15 : 1 / 1.15, at: [x, y]});
}, {passive: false});

window.addEventListener('keydown', e => {
  if (e.target instanceof HTMLInputElement) return;
  if (e.key === 'Escape' && pressed) {
    pressed = false;
    send('pointer', {type: 'cancel'});
  } else if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === 'z') {
    e.preventDefault();
    send('undo');
  }
});

new ResizeObserver(() => send('view', canvasSize(), 'size')).observe(canvas);

// [SECTION] Panel ------------------------------------------------------------------------------

const presets = ['top', 'bottom', 'front', 'back', 'left', 'right', 'iso'];
for (const name of presets) {
  const b = document.createElement('button');
  b.textContent = name;
  b.dataset.preset = name;
  b.onclick = () => send('view', {preset: name});
  document.getElementById('presets').append(b);
}
document.getElementById('perspective').onchange = e =>
  send('view', {projection: e.target.checked ? 'perspective' : 'parallel'});
document.getElementById('undo').onclick = () => send('undo');
document.getElementById('report-button').onclick = async () => {
  const answer = await send('report');
  const pre = document.getElementById('report');
  pre.textContent = answer?.report ?? '';
  pre.hidden = false;
};
for (const [id, key] of [['snap-move', 'move'], ['snap-rotate', 'rotate'], ['snap-scale', 'scale']])
  document.getElementById(id).onchange = e => send('settings', {snap: {[key]: Number(e.target.value) || 0}});
for (const id of ['ScreenSize_Min', 'ScreenSize_Max'])
  document.getElementById(id).onchange = e => send('settings', {settings: {[id]: Number(e.target.value)}});

function showPanel(panel) {
  const flags = document.getElementById('flags');
  for (const [name, value] of Object.entries(panel.settings)) {
    if (name.startsWith('Show_')) {
      let box = document.getElementById(name);
      if (!box) {
        const label = document.createElement('label');
        box = document.createElement('input');
        box.type = 'checkbox';
        box.id = name;
        box.onchange = () => send('settings', {settings: {[name]: box.checked ? 1 : 0}});
        label.append(box, ` ${name.slice(5).replaceAll('_', ' ')}`);
        flags.append(label);
      }
      box.checked = value !== 0;
    } else if (document.getElementById(name)) {
      document.getElementById(name).value = value;
    }
  }
  for (const [key, value] of Object.entries(panel.snap)) document.getElementById(`snap-${key}`).value = value;
}

const fixed = v => (Math.abs(v) < 5e-7 ? 0 : v).toFixed(4);

// The drag matrix taken apart: translation, rotation axis and angle, and the scale along each
// of its axes (the lengths of its columns).
function readDrag(m) {
  if (!m) return;
  const columns = [0, 4, 8].map(c => [m[c], m[c + 1], m[c + 2]]);
  const scale = columns.map(c => Math.hypot(...c));
  const r = columns.map((c, i) => c.map(v => v / scale[i])); // r[column][row]
  const angle = Math.acos(Math.min(1, Math.max(-1, (r[0][0] + r[1][1] + r[2][2] - 1) / 2)));
  let axis = [r[1][2] - r[2][1], r[2][0] - r[0][2], r[0][1] - r[1][0]];
  const length = Math.hypot(...axis);
  axis = length > 1e-9 ? axis.map(v => v / length) : [0, 0, 1];
  document.getElementById('readout-move').textContent = [m[12], m[13], m[14]].map(fixed).join(', ');
  document.getElementById('readout-turn').textContent =
    `${(angle * 180 / Math.PI).toFixed(2)}° about ${axis.map(v => v.toFixed(3)).join(', ')}`;
  document.getElementById('readout-scale').textContent = scale.map(fixed).join(', ');
}

function showStatus(s) {
  lastStatus = s;
  const what = s.dragging ? `dragging ${s.handle ?? ''}` : s.handle ?? 'no handle under the pointer';
  const {count, names} = s.selected;
  const selected = count ? `selected ${names[0] || 'a part'}${count > 1 ? ` and ${count - 1} more` : ''}`
    : 'nothing selected';
  statusLine.textContent = `${what}   ·   ${selected}   ·   undo ${s.undo}   ·   ${s.profile}`;
  statusLine.dataset.handle = s.handle ?? '';
  readDrag(s.mDrag ?? s.applied);
  document.getElementById('profile').textContent =
    s.profileLoads ? `${s.profile} (edits loaded: ${s.profileLoads})` : s.profile;
  document.getElementById('profile-error').textContent = s.profileError ?? '';
}

// [SECTION] Dropped files ----------------------------------------------------------------------

// The server refuses larger files too; this spares sending them.
const maxFileBytes = 64 << 20;

document.addEventListener('dragover', e => {
  e.preventDefault();
  e.dataTransfer.dropEffect = 'copy';
});
document.addEventListener('drop', async e => {
  e.preventDefault();
  const file = e.dataTransfer.files[0];
  if (!file) return;
  const model = document.getElementById('model'), error = document.getElementById('model-error');
  if (file.size > maxFileBytes) {
    error.textContent = `${file.name}: larger than the limit of ${maxFileBytes >> 20} MB`;
    return;
  }
  error.textContent = '';
  model.textContent = `opening ${file.name}…`;
  const answer = await send('file', file);
  const opened = answer?.result;
  model.textContent = opened ? `${opened.file}: ${opened.parts} parts, ${opened.triangles} triangles` : '';
  error.textContent = answer?.error ?? '';
});

// A profile rewritten on disk shows up without a pointer move.
setInterval(() => { if (!queue.length && !busy) send('frame'); }, 300);

// For the browser tests: whether every request was answered and drawn.
window.tillerView = {drawn, status: () => lastStatus, settled: () => !busy && !queue.length};
send('open', canvasSize()).then(() => canvas.focus());
