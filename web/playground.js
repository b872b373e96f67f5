/* playground.js — the page around the effect's WebAssembly: controls made from the effect's parameter table,
   the picture copied into wasm memory once, a re-render whenever a value moves, and the settings handed out
   as a command line, ffmpeg and melt values and a link. */
'use strict';

// emscripten's script, which follows, takes this object as its Module and calls back once the wasm is ready.
var Module = {
  onRuntimeInitialized: () => startPlayground(),
  onAbort: () => {
    document.body.dataset.state = 'error';
    const status = document.getElementById('status');
    status.textContent = 'This browser cannot run the page\'s WebAssembly (it needs WebAssembly SIMD: Chrome 91, ' +
      'Firefox 89, Safari 16.4 or later).';
    status.classList.add('error');
  },
};

function startPlayground() {
  const $ = (id) => document.getElementById(id);
  const wasm = {
    describe: () => JSON.parse(Module.ccall('cf_describe', 'string', [], [])),
    reset: () => Module.ccall('cf_reset', null, [], []),
    apply: (entry) => Module.ccall('cf_apply', 'string', ['string'], [entry]),
    values: () => JSON.parse(Module.ccall('cf_values', 'string', [], [])),
  };
  const table = wasm.describe();
  const canvas = $('result');
  const context = canvas.getContext('2d');
  const video = $('video');
  const MAX_FRAME = 21474836; // frame x 100 is the effect's 32-bit time value
  const state = {
    values: null,       // {set: {label: text}, frei0r: {label: text}} from the effect
    start: null,        // the same at the command's starting values
    frame: 0,
    fps: table.fps,
    picture: null,      // {width, height, before: ImageData, name, kind: 'card' | 'image' | 'video'}
    showBefore: false,
    pending: false,
    playing: null,
    videoFrames: 0,
  };
  // What the tests read: how many frames were drawn and how long each took (wasm and canvas, milliseconds).
  const stats = { renders: 0, times: [] };
  window.crumbleforgePlayground = stats;

  const say = (text, error) => {
    $('status').textContent = text;
    $('status').classList.toggle('error', !!error);
  };

  // ---- the controls, one per parameter, in the effect's order and groups --------------------------------
  const controls = {}; // label -> {show(text)}
  const idOf = (label) => 'p-' + label.toLowerCase().replace(/[^a-z0-9]+/g, '-');
  const decimalsOf = (p) => p.precision > 0 ? Number('1e-' + p.precision) : 1;

  function makeControls() {
    const form = $('params');
    let parent = form;
    for (const p of table.params) {
      if (p.kind === 'group') {
        const fieldset = document.createElement('fieldset');
        const legend = document.createElement('legend');
        legend.textContent = p.label;
        fieldset.append(legend);
        form.append(fieldset);
        parent = fieldset;
        continue;
      }
      if (p.kind === 'end') {
        parent = form;
        continue;
      }
      const row = document.createElement('div');
      row.className = 'row';
      const label = document.createElement('label');
      label.textContent = p.label;
      label.htmlFor = idOf(p.label);
      row.append(label);
      if (p.kind === 'slider') {
        const range = document.createElement('input');
        range.type = 'range';
        range.id = idOf(p.label);
        range.min = p.min;
        range.max = p.max;
        range.step = decimalsOf(p);
        const box = document.createElement('input');
        box.type = 'number';
        box.min = p.min;
        box.max = p.max;
        box.step = decimalsOf(p);
        box.setAttribute('aria-label', p.label + ' value');
        range.addEventListener('input', () => set(p.label, range.value));
        box.addEventListener('change', () => set(p.label, box.value));
        row.append(range, box);
        controls[p.label] = { show: (text) => { range.value = text; box.value = text; } };
      } else if (p.kind === 'popup') {
        const select = document.createElement('select');
        select.id = idOf(p.label);
        for (const choice of p.choices) {
          select.append(new Option(choice, choice));
        }
        select.addEventListener('change', () => set(p.label, select.value));
        row.classList.add('wide');
        row.append(select);
        controls[p.label] = { show: (text) => { select.value = text; } };
      } else if (p.kind === 'checkbox') {
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.id = idOf(p.label);
        box.addEventListener('change', () => set(p.label, box.checked ? 'on' : 'off'));
        row.classList.add('wide');
        row.append(box);
        controls[p.label] = { show: (text) => { box.checked = text === 'on'; } };
      } else if (p.kind === 'color') {
        const picker = document.createElement('input');
        picker.type = 'color';
        picker.id = idOf(p.label);
        picker.addEventListener('input', () => set(p.label, picker.value));
        row.classList.add('wide');
        row.append(picker);
        controls[p.label] = { show: (text) => { picker.value = text; } };
      }
      parent.append(row);
    }
  }

  function showValues() {
    state.values = wasm.values();
    for (const label of Object.keys(state.values.set)) {
      controls[label].show(state.values.set[label]);
    }
  }

  function set(label, text) {
    const problem = wasm.apply(label + '=' + text);
    say(problem ? label + ': ' + problem : '', !!problem);
    showValues();
    changed();
  }

  // ---- the settings out ----------------------------------------------------------------------------------
  const shellWord = (s) => /^[A-Za-z0-9_.\/=:,+%-]+$/.test(s) ? s : "'" + s.replace(/'/g, "'\\''") + "'";
  const changedLabels = () =>
    Object.keys(state.values.set).filter((label) => state.values.set[label] !== state.start.set[label]);

  function names() {
    const picture = state.picture;
    const name = picture && picture.kind !== 'card' ? picture.name : 'picture.png';
    const dot = name.lastIndexOf('.');
    const base = dot > 0 ? name.slice(0, dot) : name;
    const extension = dot > 0 ? name.slice(dot) : '.png';
    return { input: name, output: base + '-crumbleforge' + extension };
  }

  function settingsOut() {
    const { input, output } = names();
    const labels = changedLabels();
    const still = !state.picture || state.picture.kind !== 'video';

    const command = ['crumbleforge', 'render', input, output];
    for (const label of labels) {
      command.push('-s', label + '=' + state.values.set[label]);
    }
    if (still && state.frame !== 0) {
      command.push('--frame', String(state.frame));
    }
    if (state.fps !== table.fps) {
      command.push('--fps', String(state.fps));
    }
    $('out-command').value = command.map(shellWord).join(' ');

    // ffmpeg: the filter's settings text in the command's form; time in milliseconds, the clip's rate.
    const text = labels.map((label) => label + '=' + state.values.set[label])
      .concat([table.frei0r.rate + '=' + state.fps, table.frei0r.milliseconds + '=on']).join(';');
    let chain = "frei0r=filter_name=crumbleforge:filter_params='" + text + "'";
    const width = state.picture ? state.picture.width : 0;
    if (width % 64 !== 0) {
      // ffmpeg copies frames whose rows are not aligned as it wants them, and the copy loses its time.
      chain = 'pad=ceil(iw/64)*64:ih,' + chain + ',crop=' + width + ':' + state.picture.height + ':0:0';
    }
    $('out-ffmpeg').value = ['ffmpeg', '-i', shellWord(input), '-vf', '"' + chain + '"', shellWord(output)].join(' ');

    // melt: each value by name in the filter's units; MLT's time is in seconds.
    const melt = ['melt', input, '-filter', 'frei0r.crumbleforge'];
    for (const label of labels) {
      melt.push(label + '=' + state.values.frei0r[label]);
    }
    melt.push(table.frei0r.rate + '=' + state.fps / 1000, '-consumer', 'avformat:' + output);
    $('out-melt').value = melt.map(shellWord).join(' ');

    const query = labels.map((label) => [label, state.values.set[label]]);
    if (state.frame !== 0) {
      query.push(['frame', String(state.frame)]);
    }
    if (state.fps !== table.fps) {
      query.push(['fps', String(state.fps)]);
    }
    const search = query.map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(v)).join('&');
    const link = location.href.replace(/[?#].*$/, '') + (search ? '?' + search : '');
    $('out-link').value = link;
    try {
      history.replaceState(null, '', link);
    } catch (e) {
      // a page opened from some places may not change its address; the link above still holds the settings
    }
  }

  // ---- drawing --------------------------------------------------------------------------------------------
  function draw() {
    state.pending = false;
    const picture = state.picture;
    if (!picture) {
      return;
    }
    if (state.showBefore) {
      context.putImageData(picture.before, 0, 0);
      return;
    }
    const started = performance.now();
    const at = Module._cf_render(state.frame);
    // A view on wasm memory, made anew each time: the memory may have grown since the last frame.
    const pixels = new Uint8ClampedArray(Module.HEAPU8.buffer, at, picture.width * picture.height * 4);
    context.putImageData(new ImageData(pixels, picture.width, picture.height), 0, 0);
    const took = performance.now() - started;
    stats.times.push(took);
    stats.renders += 1;
    canvas.dataset.renders = String(stats.renders);
    canvas.dataset.picture = picture.name;
    $('timing').textContent = picture.width + ' × ' + picture.height + ', frame ' + state.frame + ': ' +
      took.toFixed(1) + ' ms';
  }

  function redraw() {
    if (!state.pending) {
      state.pending = true;
      requestAnimationFrame(draw);
    }
  }

  function changed() {
    settingsOut();
    redraw();
  }

  // ---- pictures -------------------------------------------------------------------------------------------
  function takePicture(before, name, kind) {
    const { width, height } = before;
    canvas.width = width;
    canvas.height = height;
    state.picture = { width, height, before, name, kind };
    document.body.dataset.state = 'ready';
    fitZoom();
    changed();
  }

  // The picture's pixels into wasm memory, once; the page keeps them as they were for "before".
  function takePixels(before, name, kind) {
    const at = Module._cf_source(before.width, before.height);
    if (!at) {
      say('The picture (' + before.width + ' × ' + before.height + ') is too large for this page.', true);
      document.body.dataset.state = state.picture ? 'ready' : 'error';
      return;
    }
    Module.HEAPU8.set(before.data, at);
    Module._cf_source_ready();
    takePicture(before, name, kind);
  }

  function readDrawable(drawable, width, height) {
    const scratch = document.createElement('canvas');
    scratch.width = width;
    scratch.height = height;
    const c = scratch.getContext('2d', { willReadFrequently: true });
    c.drawImage(drawable, 0, 0);
    return c.getImageData(0, 0, width, height);
  }

  function testCard() {
    const width = 640;
    const height = 480;
    const at = Module._cf_test_card(width, height);
    const before = new ImageData(width, height);
    before.data.set(Module.HEAPU8.subarray(at, at + width * height * 4));
    Module._cf_source_ready();
    say('');
    takePicture(before, 'test card', 'card');
  }

  const isVideo = (file) => file.type.startsWith('video/') || /\.(mp4|m4v|mov|mkv|webm|ogv|avi)$/i.test(file.name);

  async function openFile(file) {
    stopPlaying();
    say('Reading ' + file.name + ' …');
    document.body.dataset.state = 'loading';
    try {
      if (isVideo(file)) {
        await openVideo(file);
        return;
      }
      $('frame-slider').hidden = true;
      // The file's own values, unchanged by colour management, as the command reads them.
      const bitmap = await createImageBitmap(file, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      const before = readDrawable(bitmap, bitmap.width, bitmap.height);
      bitmap.close();
      say('');
      takePixels(before, file.name, 'image');
    } catch (e) {
      document.body.dataset.state = state.picture ? 'ready' : 'error';
      say('Cannot read ' + file.name + ': ' + (e && e.message ? e.message : 'not a picture or video this browser decodes'), true);
    }
  }

  const once = (target, event) => new Promise((resolve, reject) => {
    target.addEventListener(event, resolve, { once: true });
    target.addEventListener('error', () => reject(new Error('the browser cannot decode it')), { once: true });
  });

  async function openVideo(file) {
    if (video.src) {
      URL.revokeObjectURL(video.src);
    }
    video.src = URL.createObjectURL(file);
    await once(video, 'loadedmetadata');
    state.videoFrames = Math.max(1, Math.floor(video.duration * state.fps));
    const slider = $('frame-slider');
    slider.max = state.videoFrames - 1;
    slider.hidden = false;
    state.frame = 0;
    await showVideoFrame(0, file.name);
  }

  // Frame n of the clip at the page's frame rate (the browser does not tell a clip's own rate).
  async function showVideoFrame(n, name) {
    state.frame = n;
    $('frame').value = n;
    $('frame-slider').value = n;
    video.currentTime = (n + 0.5) / state.fps;
    await once(video, 'seeked');
    say('');
    takePixels(readDrawable(video, video.videoWidth, video.videoHeight), name, 'video');
  }

  // ---- view -----------------------------------------------------------------------------------------------
  function fitZoom() {
    const actual = $('zoom').getAttribute('aria-pressed') === 'true';
    $('view').className = actual ? 'actual' : 'fit';
    // 1:1 is one canvas pixel to one screen pixel, whatever the screen's scale.
    canvas.style.width = actual && state.picture ? state.picture.width / devicePixelRatio + 'px' : '';
  }

  function toggle(button) {
    const on = button.getAttribute('aria-pressed') !== 'true';
    button.setAttribute('aria-pressed', String(on));
    return on;
  }

  function setFrame(n) {
    const frame = Math.max(-MAX_FRAME, Math.min(MAX_FRAME, Math.trunc(Number(n)) || 0));
    state.frame = frame;
    $('frame').value = frame;
    if (state.picture && state.picture.kind === 'video' && frame >= 0 && frame < state.videoFrames) {
      showVideoFrame(frame, state.picture.name).catch((e) => say(e.message, true));
      return;
    }
    changed();
  }

  function stopPlaying() {
    if (state.playing) {
      clearInterval(state.playing);
      state.playing = null;
      $('play').setAttribute('aria-pressed', 'false');
    }
  }

  // ---- wiring ---------------------------------------------------------------------------------------------
  makeControls();
  wasm.reset();
  state.start = wasm.values();

  // Settings from the address: labels as the command's --set takes them, and frame and fps.
  const problems = [];
  for (const [key, value] of new URLSearchParams(location.search)) {
    if (key === 'frame') {
      state.frame = Math.max(-MAX_FRAME, Math.min(MAX_FRAME, Math.trunc(Number(value)) || 0));
    } else if (key === 'fps') {
      const fps = Number(value);
      if (fps >= 0.01 && fps <= 1000) {
        state.fps = fps;
      } else {
        problems.push('fps: ' + value + ' is not a rate from 0.01 to 1000');
      }
    } else {
      const problem = wasm.apply(key + '=' + value);
      if (problem) {
        problems.push(problem);
      }
    }
  }
  $('frame').value = state.frame;
  $('fps').value = state.fps;
  showValues();

  $('file').addEventListener('change', (e) => {
    if (e.target.files.length) {
      openFile(e.target.files[0]);
    }
  });
  $('card').addEventListener('click', () => { stopPlaying(); $('frame-slider').hidden = true; testCard(); });
  for (const name of ['dragenter', 'dragover']) {
    document.addEventListener(name, (e) => { e.preventDefault(); $('drop').classList.add('over'); });
  }
  document.addEventListener('dragleave', () => $('drop').classList.remove('over'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    $('drop').classList.remove('over');
    if (e.dataTransfer.files.length) {
      openFile(e.dataTransfer.files[0]);
    }
  });
  $('frame').addEventListener('change', () => setFrame($('frame').value));
  $('frame-slider').addEventListener('input', () => setFrame($('frame-slider').value));
  $('fps').addEventListener('change', () => {
    const fps = Number($('fps').value);
    if (fps >= 0.01 && fps <= 1000) {
      state.fps = fps;
      if (state.playing) {
        stopPlaying();
        $('play').click();
      }
      changed();
    } else {
      say('Frame rate: a number from 0.01 to 1000', true);
    }
  });
  $('play').addEventListener('click', () => {
    if (state.playing) {
      stopPlaying();
      return;
    }
    $('play').setAttribute('aria-pressed', 'true');
    state.playing = setInterval(() => {
      state.frame = Math.min(MAX_FRAME, state.frame + 1);
      $('frame').value = state.frame;
      changed();
    }, 1000 / state.fps);
  });
  $('reset').addEventListener('click', () => {
    wasm.reset();
    say('');
    showValues();
    changed();
  });
  $('zoom').addEventListener('click', () => { toggle($('zoom')); fitZoom(); });
  $('before').addEventListener('click', () => { state.showBefore = toggle($('before')); redraw(); });
  $('download').addEventListener('click', () => {
    if (!state.picture) {
      return;
    }
    const wasBefore = state.showBefore;
    state.showBefore = false;
    draw();
    canvas.toBlob((blob) => {
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = names().output.replace(/\.[^.]*$/, '') + '.png';
      a.click();
      setTimeout(() => URL.revokeObjectURL(a.href), 1000);
    }, 'image/png');
    state.showBefore = wasBefore;
    if (wasBefore) {
      redraw();
    }
  });
  for (const button of document.querySelectorAll('[data-copy]')) {
    button.addEventListener('click', async () => {
      const field = $(button.dataset.copy);
      try {
        await navigator.clipboard.writeText(field.value);
      } catch (e) {
        field.select(); // no clipboard for this page: selected, for the keyboard's copy
        document.execCommand('copy');
      }
      say('Copied: ' + button.textContent.replace(/^Copy /, ''));
    });
  }

  testCard();
  if (problems.length) {
    say('Not taken from the address: ' + problems.join('; '), true);
  }
}
