// The unit's front panel: state from the JSON API, refreshed on the server's change events.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

// Models the page draws from; a change event naming one of them fetches it again.
const kModels = ['backlight', 'lightsensor', 'front_led', 'buzzer', 'power', 'supervisor', 'adc', 'digio',
  'battery', 'video', 'startup', 'fpga', 'bootloader'];
const kLogRows = 200;

const models = {};
let status = null;
let powerMgr = null;
let logSeq = 0;
let logRows = [];

async function api(path, body, contentType) {
  const init = { headers: { Authorization: 'Bearer ' + token } };
  if (body !== undefined) {
    init.method = 'POST';
    init.headers['Content-Type'] = contentType || 'application/json';
    init.body = contentType ? body : JSON.stringify(body);
  }
  const res = await fetch(path, init);
  let data = null;
  try { data = await res.json(); } catch (e) { data = { error: res.statusText }; }
  return { ok: res.ok, data };
}

// Runs a change and shows its refusal (or nothing) next to the control.
async function act(msgId, path, body, contentType) {
  const r = await api(path, body, contentType);
  const msg = $(msgId);
  msg.textContent = r.ok ? '' : (r.data && r.data.error) || 'refused';
  msg.classList.toggle('ok', false);
  return r;
}

// ---- refreshing ---------------------------------------------------------------------------

// Models and the status refresh independently: a slow status read does not hold up a model.
// Reads of the identity EEPROMs move their address pointers (model "board"), so a change of
// "board" alone, which the status read itself makes, does not read the status again.
const kStatusGap = 500; // ms between status reads at most
const pending = new Set();
let modelsBusy = false, statusBusy = false, statusAgain = false;

function want(names, withStatus) {
  names.forEach((n) => pending.add(n));
  if (!modelsBusy) readModels();
  if (withStatus) readStatus();
}

async function readModels() {
  modelsBusy = true;
  while (pending.size) {
    const names = [...pending];
    pending.clear();
    await Promise.all(names.map(async (n) => {
      const r = await api('/api/get?field=' + encodeURIComponent(n));
      if (r.ok) models[n] = r.data.value;
    }));
    drawModels();
  }
  modelsBusy = false;
}

async function readStatus() {
  if (statusBusy) { statusAgain = true; return; }
  statusBusy = true;
  do {
    statusAgain = false;
    const started = Date.now();
    const [r, pm] = await Promise.all([api('/api/status'), api('/api/powermgr')]);
    if (pm.ok) powerMgr = pm.data;
    if (r.ok) {
      status = r.data; drawStatus(); drawModels(); drawParts();
      if (!performance.getEntriesByName('panel-drawn').length) performance.mark('panel-drawn'); // for benchmarks
    }
    await new Promise((done) => setTimeout(done, Math.max(0, kStatusGap - (Date.now() - started))));
  } while (statusAgain);
  statusBusy = false;
}

async function readLog() {
  const query = logSeq ? 'since=' + logSeq : 'last=' + kLogRows;
  const r = await api('/api/log?' + query);
  if (!r.ok) return;
  for (const e of r.data) logSeq = Math.max(logSeq, e.seq);
  logRows = r.data.reverse().concat(logRows).slice(0, kLogRows);
  drawLog();
}

let logBusy = false;
async function logChanged(seq) {
  if (seq <= logSeq || logBusy) return;
  logBusy = true;
  try { await readLog(); } finally { logBusy = false; }
  if (seq > logSeq) logChanged(seq);
}

function connect() {
  const events = new EventSource('/api/events?token=' + encodeURIComponent(token));
  events.addEventListener('hello', (m) => {
    $('connection').textContent = 'live';
    $('connection').className = 'good';
    want(kModels, true);
    readFaults();
    readThumbnails();
    readSupply();
    readFirmware();
    logChanged(JSON.parse(m.data).seq);
  });
  events.addEventListener('change', (m) => {
    const e = JSON.parse(m.data);
    const mine = e.models.filter((n) => kModels.includes(n));
    if (e.models.length) want(mine, e.models.some((n) => n !== 'board'));
    if (e.models.includes('faults')) readFaults();
    if (e.models.includes('profile')) want(kModels, true);
    if (e.models.includes('video') || e.models.includes('profile')) readThumbnails();
    if (e.models.includes('adc') || e.models.includes('profile')) readSupply();
    if (firmwareLive || e.models.some((n) => n === 'fpga' || n === 'bootloader' || n === 'profile')) readFirmware();
    logChanged(e.seq);
    document.body.dataset.event = e.id;
  });
  events.onerror = () => {
    $('connection').textContent = 'reconnecting';
    $('connection').className = 'bad';
  };
}

// ---- drawing --------------------------------------------------------------------------------

function item(group, key) {
  return status && status[group] ? status[group][key] : undefined;
}

function setIfIdle(id, value) {
  const el = $(id);
  if (document.activeElement !== el && value !== undefined) el.value = value;
  const out = $(id + '-out');
  if (out) out.textContent = el.value;
}

function drawModels() {
  const bl = models.backlight, power = models.power;
  const display = $('display');
  const notFitted = item('lighting', 'backlight') && item('lighting', 'backlight').state === 'not fitted';
  if (notFitted) {
    display.dataset.state = 'absent';
    display.dataset.level = 0;
    display.style.backgroundColor = '';
    $('display-text').textContent = 'display not fitted';
  } else if (bl && power) {
    const on = power.backlight === 1;
    const level = on ? bl.level : 0;
    display.dataset.state = on ? 'on' : 'off';
    display.dataset.level = level;
    const v = Math.round(20 + level / 255 * 215);
    display.style.backgroundColor = level ? `rgb(${v}, ${v}, ${Math.min(255, v + 12)})` : '#000';
    $('display-text').textContent = on ? 'backlight ' + level + ' / 255' : 'backlight off';
  }
  if (models.front_led) drawLed(models.front_led);
  if (models.buzzer) drawBuzzer(models.buzzer);
  if (models.lightsensor) {
    $('lux-shown').textContent = Math.round(models.lightsensor.lux) +
      (models.lightsensor.range === 1 ? ' (extended range)' : '');
    setIfIdle('light', Math.round(models.lightsensor.lux));
  }
  if (models.supervisor) {
    setIfIdle('ssTemp', models.supervisor.ssTemp);
    setIfIdle('pcbTemp', models.supervisor.pcbTemp);
  }
  if (models.digio) drawInputs(models.digio.inputs);
  if (models.battery) {
    $('battery-fitted').checked = models.battery.fitted;
    setIfIdle('battery-mv', models.battery.voltage);
  }
}

// ---- drawn parts ---------------------------------------------------------------------------

const absent = (v) => v !== undefined && v.state === 'not fitted';
const valueOf = (v) => (v && v.state === undefined ? v.value : undefined);

// Each input's current frame, fetched as a picture when the video model changes.
let thumbsBusy = false, thumbsAgain = false;
async function readThumbnails() {
  if (thumbsBusy) { thumbsAgain = true; return; }
  thumbsBusy = true;
  try {
    do {
      thumbsAgain = false;
      await drawThumbnails();
    } while (thumbsAgain);
  } finally {
    thumbsBusy = false;
  }
}

async function drawThumbnails() {
  const started = Date.now();
  const fitted = valueOf(item('identity', 'video'));
  for (const input of [1, 2]) {
    const fig = $('video' + input), img = $('video' + input + '-img');
    if (fitted !== undefined && input > fitted) {
      fig.dataset.state = 'absent';
      $('video' + input + '-text').textContent = 'not fitted';
      continue;
    }
    const res = await fetch('/api/video/frame?input=' + input, { headers: { Authorization: 'Bearer ' + token } });
    if (res.ok) {
      const url = URL.createObjectURL(await res.blob());
      if (img.src.startsWith('blob:')) URL.revokeObjectURL(img.src);
      img.src = url;
      fig.dataset.state = 'signal';
      fig.dataset.frame = (fig.dataset.frame | 0) + 1;
      $('video' + input + '-text').textContent = models.video ? '(' + models.video['input' + input].source + ')' : '';
    } else {
      let why = res.statusText;
      try { why = (await res.json()).error; } catch (e) { /* not JSON */ }
      fig.dataset.state = 'nosignal';
      $('video' + input + '-text').textContent = why;
    }
  }
  // A running capture changes the model with every frame: at most ten pictures a second.
  await new Promise((done) => setTimeout(done, Math.max(0, 100 - (Date.now() - started))));
}

// The measured supplies in volts; the slider spans the converter's full scale of the selector.
let supplies = [];
async function readSupply() {
  const r = await api('/api/supply');
  if (!r.ok) return;
  supplies = r.data;
  const sel = $('supply-selector');
  const keep = sel.value;
  if ([...sel.options].map((o) => o.value).join() !== supplies.map((x) => x.selector).join()) {
    sel.textContent = '';
    for (const s of supplies) {
      const o = document.createElement('option');
      o.value = s.selector;
      o.textContent = 'selector ' + s.selector;
      sel.append(o);
    }
    if (keep !== '') sel.value = keep;
  }
  drawSupply();
}

function drawSupply() {
  const s = supplies.find((x) => String(x.selector) === $('supply-selector').value);
  if (!s) return;
  const slider = $('supply');
  slider.max = s.max.toFixed(3);
  slider.step = s.step;
  $('supply-volts').step = s.step;
  setIfIdle('supply', s.volts);
  setIfIdle('supply-volts', s.volts.toFixed(3));
}

// The firmware job: read while one runs (each of its requests is a change), and when the
// programming models change.
let firmwareLive = false, firmwareBusy = false, firmwareAgain = false;
async function readFirmware() {
  if (firmwareBusy) { firmwareAgain = true; return; }
  firmwareBusy = true;
  try {
    do {
      firmwareAgain = false;
      const started = Date.now();
      const r = await api('/api/firmware');
      if (r.ok) drawFirmware(r.data);
      await new Promise((done) => setTimeout(done, Math.max(0, 100 - (Date.now() - started))));
    } while (firmwareAgain);
  } finally {
    firmwareBusy = false;
  }
}

const kTargets = { fpga: 'FPGA', ss: 'system supervisor', front: 'front microcontroller' };
function drawFirmware(f) {
  firmwareLive = f.running || f.step === 'programming' || f.step === 'verifying' || f.step === 'erasing';
  const box = $('fw');
  box.dataset.step = f.step || 'none';
  box.dataset.percent = f.percent === null || f.percent === undefined ? '' : f.percent;
  $('fw-target').textContent = f.target ? kTargets[f.target] || f.target : f.running ? 'job' : 'none';
  $('fw-step').textContent = f.step || 'no job';
  const known = typeof f.percent === 'number';
  $('fw-percent').textContent = known ? f.percent + ' %' : '';
  const bar = $('fw-bar');
  bar.className = known || !firmwareLive ? '' : 'busy';
  bar.style.width = known ? f.percent + '%' : firmwareLive ? '100%' : '0';
  $('fw-bytes').textContent = f.target ? `${f.programmed} bytes programmed` +
    (f.checked ? `, ${Math.min(f.checked, f.programmed)} checked` : '') : '';
}

// A lamp for a status value: lit, dark, 'absent' (not fitted) or 'error' (not readable).
function lamp(id, on, title) {
  $(id).dataset.on = on;
  if (title) $(id).title = title;
}
const lampState = (v) => (absent(v) ? 'absent' : v === undefined || v.state ? 'error' : !!v.value);

// The ready reports counted when the newest request appeared: applications that answered it
// since light "applications ready". The service's side is in the settings file, which sends no
// change events, so it is read every 250 ms while a request is pending.
let cycleReports = null, lastRequest = 0, powerMgrTimer = null;
function drawPowerMgr() {
  if (!powerMgr) return;
  if (powerMgr.request !== 0 && lastRequest === 0) cycleReports = powerMgr.ready_reports;
  lastRequest = powerMgr.request;
  lamp('pm-service', powerMgr.service);
  lamp('pm-request', powerMgr.request !== 0, 'request: ' + powerMgr.request_name);
  lamp('pm-ready', cycleReports !== null && powerMgr.ready_reports !== cycleReports);
  clearTimeout(powerMgrTimer);
  if (powerMgr.request !== 0) {
    powerMgrTimer = setTimeout(async () => {
      const r = await api('/api/powermgr');
      if (r.ok) { powerMgr = r.data; drawPowerMgr(); }
    }, 250);
  }
  $('pm-text').textContent = `request ${powerMgr.request} (${powerMgr.request_name}), ` +
    `${powerMgr.ready_reports} ready report${powerMgr.ready_reports === 1 ? '' : 's'}`;
}

function drawBattery() {
  const b = status.battery || {};
  const box = $('battery');
  if (absent(b.battery) || !b.battery_present || b.battery_present.state) {
    box.dataset.state = absent(b.battery) ? 'absent' : 'error';
    $('battery-fill').style.width = '0';
    $('battery-percent').textContent = absent(b.battery) ? 'not fitted' : '?';
    $('battery-text').textContent = absent(b.battery) ? '' : valueText(b.battery_present);
    return;
  }
  const charge = valueOf(b.battery_charge);
  box.dataset.state = charge === undefined ? 'error' : charge < 20 ? 'low' : 'ok';
  box.dataset.charge = charge === undefined ? '' : charge;
  $('battery-fill').style.width = (charge || 0) + '%';
  $('battery-percent').textContent = charge === undefined ? '?' : charge + ' %';
  const state = valueOf(b.battery_charging), source = valueOf(b.power_source);
  $('battery-text').textContent = [
    state === undefined ? valueText(b.battery_charging) : 'charging state ' + state,
    source === undefined ? '' : source === 1 ? 'external power' : 'running on the battery',
    b.battery_temp ? valueText(b.battery_temp) : '',
  ].filter((x) => x).join(', ');
}

const kModules = [['gprs', 'GSM/GPRS'], ['wlan', 'WLAN'], ['bt', 'Bluetooth'], ['gps', 'GPS']];
function drawTelematics() {
  const t = status.telematics || {};
  const box = $('modules');
  box.textContent = '';
  lamp('tm-supply', absent(t.modules) ? 'absent' : lampState(t.supply), t.supply ? valueText(t.supply) : 'not fitted');
  for (const [key, label] of kModules) {
    const m = document.createElement('div');
    m.className = 'module';
    m.id = 'module-' + key;
    const fitted = !absent(t.modules) && !absent(t[key]) && t[key + '_power'] !== undefined;
    const on = valueOf(t[key + '_power']);
    m.dataset.state = !fitted ? 'absent' : on === undefined ? 'error' : on ? 'on' : 'off';
    const name = document.createElement('b');
    name.textContent = label;
    const state = document.createElement('span');
    state.textContent = !fitted ? 'not fitted' : on === undefined ? valueText(t[key + '_power']) :
      (on ? 'powered' : 'off') + (valueOf(t[key + '_startup_power']) ? ', on at start-up' : '');
    m.append(name, state);
    if (key === 'gps' && fitted && t.gps_antenna) {
      const a = document.createElement('span');
      a.textContent = 'antenna ' + (t.gps_antenna.state ? valueText(t.gps_antenna) :
        t.gps_antenna.value ? 'connected' : 'not connected');
      m.append(a);
    }
    box.append(m);
  }
}

const kFrames = ['standard', 'extended', 'both'];
function drawCan() {
  const io = status.io || {}, power = status.power || {};
  const box = $('can-ports');
  box.textContent = '';
  const fitted = !absent(io.can);
  lamp('can-power', fitted ? lampState(power.can_power) : 'absent', fitted ? valueText(power.can_power) : 'not fitted');
  if (!fitted) {
    const p = document.createElement('div');
    p.className = 'port';
    p.dataset.state = 'absent';
    p.textContent = 'not fitted';
    box.append(p);
    return;
  }
  for (let ch = 1; io['can' + ch + '_bitrate'] !== undefined; ch++) {
    const p = document.createElement('div');
    p.className = 'port';
    p.id = 'can' + ch;
    const rate = io['can' + ch + '_bitrate'], frames = valueOf(io['can' + ch + '_frames']);
    p.dataset.state = rate.state ? 'error' : 'ok';
    const name = document.createElement('b');
    name.textContent = 'CAN ' + ch;
    const text = document.createElement('span');
    text.textContent = valueText(rate) + ', ' + (frames === undefined ? valueText(io['can' + ch + '_frames']) :
      (kFrames[frames] || frames) + ' frames');
    p.append(name, text);
    box.append(p);
  }
}

const kPlate = [['identity', 'unit_serial', 'unit'], ['identity', 'product_article', 'product'],
  ['identity', 'product_revision', 'revision'], ['identity', 'main_serial', 'main board'],
  ['identity', 'main_article', 'article'], ['identity', 'main_made', 'made'],
  ['identity', 'addon_serial', 'add-on board'], ['identity', 'display_resolution', 'display'],
  ['versions', 'library', 'library'], ['versions', 'driver', 'driver'], ['versions', 'fpga', 'FPGA'],
  ['versions', 'ss', 'supervisor'], ['versions', 'front', 'front'], ['versions', 'os', 'system']];
function drawPlate() {
  const box = $('plate');
  box.textContent = '';
  for (const [group, key, label] of kPlate) {
    const v = item(group, key);
    if (v === undefined) continue;
    const dt = document.createElement('dt'), dd = document.createElement('dd');
    dt.textContent = label;
    dd.id = 'plate-' + key;
    dd.textContent = valueText(v);
    if (v.state) dd.className = absent(v) ? 'absent' : 'error';
    box.append(dt, dd);
  }
}

let videoFitted;
function drawParts() {
  if (!status) return;
  const fitted = valueOf(item('identity', 'video'));
  if (fitted !== videoFitted) { videoFitted = fitted; readThumbnails(); }
  drawPowerMgr();
  drawBattery();
  drawTelematics();
  drawCan();
  drawPlate();
}

function drawInputs(bits) {
  const box = $('inputs');
  if (!box.children.length) {
    for (let i = 0; i < 4; i++) {
      const c = document.createElement('input');
      c.type = 'checkbox';
      c.id = 'input' + i;
      c.title = 'input ' + i;
      c.addEventListener('change', () => {
        let v = 0;
        for (let j = 0; j < 4; j++) if ($('input' + j).checked) v |= 1 << j;
        act('inputs-msg', '/api/set', { field: 'digio.inputs', value: (models.digio.inputs & ~15) | v });
      });
      box.append(c, ' ' + i + ' ');
    }
  }
  for (let i = 0; i < 4; i++) $('input' + i).checked = ((bits >> i) & 1) === 1;
}

// The LED's pattern: `pulses` flashes of on/off time (hundredths of a second), then the idle
// time dark; no pulses count: on/off for ever; no times: steady.
let ledTimer = null;
function drawLed(d) {
  const c = d.color;
  const rgb = [c.red, c.green, c.blue].map((x) => x * 17);
  const colour = '#' + rgb.map((x) => x.toString(16).padStart(2, '0')).join('');
  const led = $('led');
  const lit = rgb.some((x) => x > 0);
  led.dataset.color = lit ? colour : 'off';
  const key = [colour, d.on_time, d.off_time, d.pulses, d.idle_time].join();
  if (led.dataset.key === key) return;
  led.dataset.key = key;
  clearTimeout(ledTimer);
  const show = (on) => {
    led.style.background = on && lit ? colour : '#222';
    led.style.boxShadow = on && lit ? `0 0 10px ${colour}` : 'none';
  };
  const onMs = d.on_time * 10, offMs = d.off_time * 10;
  if (!onMs || !offMs) { show(onMs > 0 || !offMs); return; }
  let step = 0;
  const tick = () => {
    const inPulses = !d.pulses || step < d.pulses * 2;
    if (!inPulses) { show(false); step = 0; ledTimer = setTimeout(tick, Math.max(10, d.idle_time * 10)); return; }
    const on = step % 2 === 0;
    show(on);
    step++;
    ledTimer = setTimeout(tick, on ? onMs : offMs);
  };
  tick();
}

let audio = null, oscillator = null, gain = null;
function drawBuzzer(d) {
  const on = d.on === true || !!d.sounding;
  $('buzzer').dataset.on = on;
  $('buzzer').title = `buzzer ${on ? 'sounding' : 'silent'}, ${d.frequency} Hz, volume ${d.volume}`;
  if (!audio) return;
  oscillator.frequency.value = Math.max(20, Math.min(20000, d.frequency || 440));
  gain.gain.value = on ? Math.min(1, (d.volume || 0) / 51) * 0.2 : 0;
}

function valueText(v) {
  if (v === undefined) return '';
  if (v.state) return v.state + (v.message ? ': ' + v.message : '');
  const shown = v.text !== undefined ? v.text : typeof v.value === 'object' ? JSON.stringify(v.value) : String(v.value);
  return shown + (v.unit && v.unit !== 'code' ? ' ' + v.unit : '');
}

function drawStatus() {
  const box = $('status');
  box.textContent = '';
  for (const [group, items] of Object.entries(status)) {
    const card = document.createElement('div');
    card.className = 'card';
    const h = document.createElement('h2');
    h.textContent = group;
    const table = document.createElement('table');
    for (const [key, v] of Object.entries(items)) {
      const tr = table.insertRow();
      tr.insertCell().textContent = key.replace(/_/g, ' ');
      const td = tr.insertCell();
      td.id = 'st-' + group + '-' + key;
      td.textContent = valueText(v);
      if (v.state === 'not fitted') td.className = 'absent';
      else if (v.state) td.className = 'error';
    }
    card.append(h, table);
    box.append(card);
  }
}

function drawLog() {
  const target = $('log-target').value.trim(), code = $('log-code').value.trim().toLowerCase();
  const hidePanel = $('log-hide-panel').checked;
  const body = $('log').tBodies[0];
  body.textContent = '';
  for (const e of logRows) {
    if (target && !e.target.toLowerCase().includes(target.toLowerCase())) continue;
    const hex = '0x' + e.code.toString(16);
    if (code && hex !== code && String(e.code) !== code) continue;
    if (hidePanel && (e.client || '').startsWith('panel')) continue;
    const tr = body.insertRow();
    if (!e.ok) tr.className = 'failed';
    [e.seq, e.client || 'pid ' + e.pid, e.target, hex, e.in, e.out, e.ok ? 'ok' : 'FAILED', e.note || '']
      .forEach((x, i) => { const td = tr.insertCell(); td.textContent = x; if (i === 4 || i === 5) td.className = 'hex'; });
  }
}

async function readFaults() {
  const r = await api('/api/faults');
  if (!r.ok) return;
  const list = $('faults');
  list.textContent = '';
  for (const f of r.data) {
    const li = document.createElement('li');
    li.textContent = JSON.stringify(f);
    list.append(li);
  }
}

// ---- controls -------------------------------------------------------------------------------

function setOnChange(id, field, msgId) {
  $(id).addEventListener('input', () => { const out = $(id + '-out'); if (out) out.textContent = $(id).value; });
  $(id).addEventListener('change', () => act(msgId, '/api/set', { field, value: Number($(id).value) }));
}

function wire() {
  $('light').addEventListener('input', () => { $('light-out').textContent = $('light').value; });
  $('light').addEventListener('change', () => act('light-msg', '/api/light', { lux: Number($('light').value) }));
  $('ramp').addEventListener('click', () => {
    const from = models.lightsensor ? models.lightsensor.lux : 0;
    act('light-msg', '/api/light', { ramp: [[0, from], [Number($('ramp-s').value), Number($('ramp-to').value)]] });
  });
  setOnChange('ssTemp', 'supervisor.ssTemp', 'ssTemp-msg');
  setOnChange('pcbTemp', 'supervisor.pcbTemp', 'pcbTemp-msg');
  const setSupply = (volts) =>
    act('supply-msg', '/api/supply', { selector: Number($('supply-selector').value), volts: Number(volts) });
  $('supply').addEventListener('input', () => { $('supply-volts').value = Number($('supply').value).toFixed(3); });
  $('supply').addEventListener('change', () => setSupply($('supply').value));
  $('supply-volts').addEventListener('change', () => setSupply($('supply-volts').value));
  $('supply-selector').addEventListener('change', drawSupply);
  setOnChange('battery-mv', 'battery.voltage', 'battery-msg');
  $('battery-fitted').addEventListener('change', () =>
    act('battery-msg', '/api/set', { field: 'battery.fitted', value: $('battery-fitted').checked }));
  $('button-short').addEventListener('click', () => press('short'));
  $('button-long').addEventListener('click', () => press('long'));
  $('video-pattern').addEventListener('click', () =>
    act('video-msg', '/api/video?input=' + $('video-input').value, { source: 'pattern' }));
  $('video-file').addEventListener('change', async () => {
    const f = $('video-file').files[0];
    if (f) act('video-msg', '/api/video?input=' + $('video-input').value, await f.arrayBuffer(), 'application/octet-stream');
  });
  $('load').addEventListener('click', () => act('profile-msg', '/api/profile', { profile: $('profile').value }));
  $('reset').addEventListener('click', () => act('profile-msg', '/api/reset', {}));
  $('fault-add').addEventListener('click', () => {
    const f = { target: $('fault-target').value, code: $('fault-code').value, action: $('fault-action').value };
    if ($('fault-times').value) f.times = $('fault-times').value;
    act('fault-msg', '/api/fault', f);
  });
  $('fault-clear').addEventListener('click', () => act('fault-msg', '/api/faults/clear', {}));
  $('set').addEventListener('click', () => {
    let value = $('set-value').value;
    try { value = JSON.parse(value); } catch (e) { /* a plain word is a text */ }
    act('set-msg', '/api/set', { field: $('set-field').value, value });
  });
  ['log-target', 'log-code', 'log-hide-panel'].forEach((id) => $(id).addEventListener('input', drawLog));
  $('sound').addEventListener('change', () => {
    if ($('sound').checked && !audio) {
      audio = new AudioContext();
      oscillator = audio.createOscillator();
      gain = audio.createGain();
      gain.gain.value = 0;
      oscillator.type = 'square';
      oscillator.connect(gain).connect(audio.destination);
      oscillator.start();
    } else if (!$('sound').checked && audio) {
      audio.close();
      audio = null;
    }
    if (models.buzzer) drawBuzzer(models.buzzer);
  });
}

// For tests: what the page's buzzer sound does now.
window.panelAudio = () => (audio ? { state: audio.state, frequency: oscillator.frequency.value, gain: gain.gain.value } : null);

async function press(kind) {
  const r = await act('button-msg', '/api/button', { press: kind });
  if (!r.ok) return;
  const d = r.data;
  const msg = $('button-msg');
  msg.classList.add('ok');
  msg.textContent = `${kind} press: ${d.action}` + (d.requested === undefined ? ` (power manager service ${d.service})` :
    d.requested ? ' requested from the service' : ' refused: ' + d.message);
}

async function start() {
  wire();
  if (!token) {
    $('connection').textContent = 'no token: open the URL tavikctl printed';
    return;
  }
  const profiles = await api('/api/profiles');
  if (!profiles.ok) {
    $('connection').textContent = profiles.data.error;
    return;
  }
  for (const p of profiles.data) {
    const o = document.createElement('option');
    o.value = o.textContent = p.name;
    o.title = p.description;
    $('profile').append(o);
  }
  connect();
}

start();
