// browser_test.mjs — the playground page, opened from disk in Debian's chromium, against the crumbleforge
// command: pictures set through the file input and settings through the address must come out of
// canvas#result bit for bit as `crumbleforge render` draws them; a slider moved by keyboard re-renders; the
// command line the page hands out renders the same picture; and a 1080p update is timed.
//   node browser_test.mjs PAGE CRUMBLEFORGE FREI0R_DIR [--screenshot PNG]
// With FREI0R_DIR (the folder of the frei0r filter), the page's ffmpeg and melt lines are run too.
// Exits 77 (skipped) where the page was not built (no emscripten), chromium is missing or playwright-core was
// not installed (npm ci in web/), unless CRUMBLEFORGE_REQUIRE_BROWSER=1: then that fails.
import { spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const [pagePath, toolGiven, filterDirGiven, ...rest] = process.argv.slice(2);
const tool = resolve(toolGiven);
const filterDir = resolve(filterDirGiven);
const screenshotAt = rest[0] === '--screenshot' ? rest[1] : null;
const CHROMIUM = '/usr/bin/chromium';

function skip(reason) {
  if (process.env.CRUMBLEFORGE_REQUIRE_BROWSER === '1') {
    console.log(`FAIL ${reason} (CRUMBLEFORGE_REQUIRE_BROWSER=1)`);
    process.exit(1);
  }
  console.log(`SKIPPED: ${reason}`);
  process.exit(77);
}

if (!existsSync(pagePath)) {
  skip(`${pagePath} was not built: emscripten's emcc is not installed (scripts/bootstrap.sh installs it)`);
}
if (!existsSync(CHROMIUM)) {
  skip(`${CHROMIUM} is not installed (scripts/bootstrap.sh installs it)`);
}
let chromium;
try {
  ({ chromium } = await import(join(dirname(fileURLToPath(import.meta.url)), '..', 'node_modules', 'playwright-core', 'index.mjs')));
} catch (e) {
  skip('playwright-core is not installed: scripts/bootstrap.sh runs npm ci in web/');
}

function run(command, args, options = {}) {
  const result = spawnSync(command, args, { maxBuffer: 1 << 28, ...options });
  if (result.status !== 0) {
    throw new Error(`${command} ${args.join(' ')} failed (${result.status}): ${result.stderr}`);
  }
  return result.stdout;
}

const work = mkdtempSync(join(tmpdir(), 'crumbleforge-playground.'));
const problems = [];

// RGB pictures: a canvas keeps the bytes of opaque pixels exactly, and of transparent ones when they are
// black (it stores colours multiplied by alpha), as a transparent background over the default black is.
function picture(name, width, height) {
  const path = join(work, name);
  run('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `testsrc2=size=${width + 1}x${height + 1}`, '-frames:v', '1',
    '-vf', `format=rgb24,crop=${width}:${height}:0:0`, '-pix_fmt', 'rgb24', path]);
  return { path, name, width, height };
}

const rgbaOf = (png) => run('ffmpeg', ['-v', 'error', '-i', png, '-f', 'rawvideo', '-pix_fmt', 'rgba', '-']);

function commandRender(input, settings, frame) {
  const out = join(work, `command-${Math.random().toString(36).slice(2)}.png`);
  const args = ['render', input.path, out, '-q', '--frame', String(frame)];
  for (const [label, value] of Object.entries(settings)) {
    args.push('-s', `${label}=${value}`);
  }
  run(tool, args);
  return rgbaOf(out);
}

// Runs a line the page handed out, as a shell runs it, in a folder holding the picture under its own name;
// returns the output file the page named.
function handedOut(input, line, env) {
  const folder = mkdtempSync(join(work, 'line.'));
  copyFileSync(input.path, join(folder, input.name));
  run('bash', ['-c', `cd "$1" && PATH="$2:$PATH" ${line}`, 'bash', folder, dirname(tool)],
    { env: { ...process.env, ...env } });
  return join(folder, input.name.replace(/\.png$/, '') + '-crumbleforge.png');
}

// melt's frame of the picture with the filter values of the page's melt line (its words as a shell splits
// them), on a one-frame RGB clip, at the picture's own size.
function meltRender(input, line) {
  const words = run('bash', ['-c', `printf '%s\\0' ${line}`]).toString().split('\0').slice(0, -1);
  const values = words.slice(words.indexOf('frei0r.crumbleforge') + 1, words.indexOf('-consumer'));
  const clip = join(work, `${input.width}x${input.height}.mkv`);
  run('ffmpeg', ['-v', 'error', '-y', '-i', input.path, '-c:v', 'ffv1', '-pix_fmt', 'bgr0', clip]);
  const profile = join(work, `profile-${input.width}x${input.height}`);
  writeFileSync(profile, `description=picture\nwidth=${input.width}\nheight=${input.height}\nframe_rate_num=24\n` +
    'frame_rate_den=1\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n' +
    `display_aspect_num=${input.width}\ndisplay_aspect_den=${input.height}\ncolorspace=601\n`);
  const out = join(work, 'melt.rgba');
  // melt 7.12 now and then writes nothing and waits forever: such a run is tried again.
  for (let attempt = 0; attempt < 3; ++attempt) {
    rmSync(out, { force: true });
    spawnSync('melt', ['-silent', '-profile', profile, clip, '-filter', 'frei0r.crumbleforge', ...values,
      '-consumer', `avformat:${out}`, 'f=rawvideo', 'vcodec=rawvideo', 'pix_fmt=rgba', 'an=1', 'real_time=-1'],
    { timeout: 30000, env: { ...process.env, FREI0R_PATH: filterDir } });
    if (existsSync(out) && statSync(out).size > 0) {
      return new Uint8Array(readFileSync(out));
    }
  }
  return new Uint8Array(0);
}

function firstDifference(got, want, width) {
  if (got.length !== want.length) {
    return `${got.length} bytes, the command ${want.length}`;
  }
  for (let i = 0; i < got.length; ++i) {
    if (got[i] !== want[i]) {
      const pixel = Math.floor(i / 4);
      const at = pixel * 4;
      return `first differs at x=${pixel % width} y=${Math.floor(pixel / width)}: page ` +
        `[${[...got.subarray(at, at + 4)]}], command [${[...want.subarray(at, at + 4)]}]`;
    }
  }
  return null;
}

const address = (settings, frame) => {
  const query = Object.entries(settings).map(([k, v]) => `${encodeURIComponent(k)}=${encodeURIComponent(v)}`);
  if (frame) {
    query.push(`frame=${frame}`);
  }
  return pathToFileURL(pagePath).href + (query.length ? '?' + query.join('&') : '');
};

async function drawn(page, input, after = 0) {
  await page.waitForFunction(([name, n]) => {
    const c = document.querySelector('canvas#result');
    return c.dataset.picture === name && Number(c.dataset.renders) > n;
  }, [input.name, after], { timeout: 60000 });
}

async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const c = document.querySelector('canvas#result');
    const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) {
      text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    }
    return btoa(text);
  });
  return new Uint8Array(Buffer.from(base64, 'base64'));
}

async function openWith(context, input, settings, frame) {
  const page = await context.newPage();
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  await page.goto(address(settings, frame));
  await page.waitForFunction(() => document.body.dataset.state === 'ready');
  await page.locator('input[type=file]').first().setInputFiles(input.path);
  await drawn(page, input);
  return page;
}

function compare(what, got, want, width) {
  const difference = firstDifference(got, want, width);
  if (difference) {
    problems.push(`${what}: ${difference}`);
  }
}

// Each case: a picture, the settings in the address, the frame (as the command's --frame).
const odd = picture('odd size.png', 97, 61);
const card = picture('card.png', 320, 240);
const CASES = [
  { name: 'defaults, odd size', input: odd, settings: {}, frame: 0 },
  { name: 'preset, colours, tone', input: card, frame: 0,
    settings: { Presets: 'Rings', 'Pattern Size': '4', 'Pixel Color': '#ff8000', 'Background Color': '#102030',
      Brightness: '12.5', Contrast: '-20' } },
  { name: 'chaos held', input: card, frame: 5,
    settings: { Presets: 'Dots', 'Enable Chaos': 'on', Intensity: '20', Seed: '7', 'Enable Scale Lock': 'on',
      'Transparent Background': 'on' } },
  { name: 'chaos animated, odd size', input: odd, frame: 7,
    settings: { Presets: 'Numbers & Letters', 'Enable Chaos': 'on', 'Animation Speed': '100', Intensity: '12',
      Seed: '42', 'Chaos Behavior': 'Decrease Size', 'Horizontal Detail': '6', 'Vertical Detail': '5',
      'Use Original Color': 'on' } },
];

const browser = await chromium.launch({
  executablePath: CHROMIUM, args: ['--no-sandbox', '--disable-background-networking'] });
try {
  const context = await browser.newContext();
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  for (const c of CASES) {
    const page = await openWith(context, c.input, c.settings, c.frame);
    compare(c.name, await canvasPixels(page), commandRender(c.input, c.settings, c.frame), c.input.width);

    if (c.frame === 7) {
      // The command line the page's button copies, run by a shell beside a file of the picture's name.
      await page.getByRole('button', { name: 'Copy command line' }).click();
      await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Copied'));
      const line = await page.evaluate(() => navigator.clipboard.readText());
      const out = handedOut(c.input, line, {});
      compare(`${c.name}, the copied command line (${line})`, rgbaOf(out), commandRender(c.input, c.settings, c.frame),
        c.input.width);
    }
    if (c.frame === 0 && existsSync(join(filterDir, 'crumbleforge.so'))) {
      // The ffmpeg line as handed out (padded and cropped at widths that are not a multiple of 64), and the
      // melt line's filter values, with a profile of the picture's size and raw output.
      const want = commandRender(c.input, c.settings, 0);
      const ffmpegLine = await page.locator('#out-ffmpeg').inputValue();
      compare(`${c.name}, the ffmpeg line (${ffmpegLine})`,
        rgbaOf(handedOut(c.input, ffmpegLine.replace(/^ffmpeg /, 'ffmpeg -v error -y '), { FREI0R_PATH: filterDir })),
        want, c.input.width);
      const meltLine = await page.locator('#out-melt').inputValue();
      compare(`${c.name}, the melt line (${meltLine})`, meltRender(c.input, meltLine), want, c.input.width);
    }

    if (c.name === 'preset, colours, tone') {
      // One slider moved by keyboard: the picture is drawn again, and is what the command draws with the new value.
      const before = await canvasPixels(page);
      const renders = Number(await page.locator('canvas#result').getAttribute('data-renders'));
      await page.locator('#p-pattern-size').focus();
      await page.keyboard.press('End');
      await drawn(page, c.input, renders);
      const after = await canvasPixels(page);
      if (!firstDifference(after, before, c.input.width)) {
        problems.push('moving Pattern Size to its end left the picture as it was');
      }
      const link = await page.locator('#out-link').inputValue();
      if (!link.includes('Pattern%20Size=10')) {
        problems.push(`the link does not carry the moved slider: ${link}`);
      }
      compare('after moving Pattern Size to 10', after, commandRender(c.input, { ...c.settings, 'Pattern Size': '10' }, 0),
        c.input.width);
    }
    await page.close();
  }

  // A 1080p update: the wasm's frame and putImageData, as the page times them, while a slider is moved.
  const large = picture('large.png', 1920, 1080);
  const page = await openWith(context, large, { Presets: 'Rings', 'Enable Chaos': 'on', 'Animation Speed': '50' }, 0);
  const slider = page.locator('#p-horizontal-detail');
  await slider.focus();
  const walls = [];
  for (let i = 0; i < 11; ++i) {
    const renders = Number(await page.locator('canvas#result').getAttribute('data-renders'));
    const started = performance.now();
    await page.keyboard.press(i % 2 ? 'PageDown' : 'PageUp');
    await drawn(page, large, renders);
    walls.push(performance.now() - started);
  }
  const times = (await page.evaluate(() => window.crumbleforgePlayground.times)).slice(-11);
  const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
  const range = (list) => `${Math.min(...list).toFixed(1)}–${Math.max(...list).toFixed(1)}`;
  console.log(`1920x1080 update in the page (render and putImageData): median ${median(times).toFixed(1)} ms, ` +
    `range ${range(times)} ms over ${times.length}; key press to drawn: median ${median(walls).toFixed(1)} ms, ` +
    `range ${range(walls)} ms`);
  if (median(times) > 100) {
    problems.push(`a 1080p update takes ${median(times).toFixed(1)} ms (median): fewer than 10 a second`);
  }
  await page.close();

  if (screenshotAt) {
    const shot = await browser.newPage({ viewport: { width: 1100, height: 720 } });
    await shot.goto(address({ Presets: 'Rings', 'Pattern Size': '2.5', 'Pixel Color': '#ffb040',
      'Background Color': '#201810', 'Enable Chaos': 'on', Intensity: '8' }, 0));
    await drawn(shot, { name: 'test card' });
    // 64 colours are plenty for the page and the effect's two-colour patterns, and keep the file small.
    const full = join(work, 'screenshot.png');
    await shot.screenshot({ path: full });
    run('ffmpeg', ['-v', 'error', '-y', '-i', full, '-vf',
      'split[a][b];[a]palettegen=max_colors=64[p];[b][p]paletteuse=dither=none', screenshotAt]);
    await shot.close();
  }
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}

for (const problem of problems) {
  console.log(problem);
}
console.log(problems.length ? `FAIL: ${problems.length} problems` : 'all pixels as the command draws them');
process.exit(problems.length ? 1 : 0);
