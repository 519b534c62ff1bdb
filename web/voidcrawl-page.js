// VoidCrawl's page: downloads the game (with a progress bar, and a retry
// when that fails), waits for the click that lets the browser play sound,
// runs the game on the canvas, sizes the picture, keeps the player's volume,
// offers touch controls on a touch screen (play, the EXIT box, a replay's
// buttons, the system's keyboard for names), names the keys as the player's
// keyboard shows them, lists the replays kept in this browser (to download
// or watch) and watches a replay file the player opens or drops, shows the
// world table when a world server serves the page, and says
// so when the game has ended, with a way to start again. Every address is
// relative, so the page works from any folder of any static server.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const stage = $('stage');
  const canvas = $('canvas');
  const overlay = $('overlay');
  const status = $('status');
  const startHint = $('start-hint');
  const ended = $('ended');
  const progress = $('progress');
  const retry = $('retry');
  const mute = $('mute');
  const volume = $('volume');

  // The game's sound: the page keeps one AudioContext (made on the first
  // click, as browsers ask) and gives each run of the game a node that pulls
  // the game's mixer. An AudioWorklet asks for sound whenever its queue runs
  // low; the game answers between its passes.
  const kQueuedFrames = 3072;
  const kWorklet = `
    class VoidCrawlFeed extends AudioWorkletProcessor {
      constructor() {
        super();
        this.chunks = [];
        this.offset = 0;
        this.queued = 0;
        this.asked = 0;
        this.port.onmessage = (event) => {
          this.chunks.push(event.data);
          this.queued += event.data.length;
          this.asked = Math.max(0, this.asked - event.data.length);
        };
      }
      process(inputs, outputs) {
        const out = outputs[0];
        const first = out[0];
        let i = 0;
        while (i < first.length && this.chunks.length > 0) {
          const chunk = this.chunks[0];
          const take = Math.min(first.length - i, chunk.length - this.offset);
          first.set(chunk.subarray(this.offset, this.offset + take), i);
          i += take;
          this.offset += take;
          this.queued -= take;
          if (this.offset >= chunk.length) {
            this.chunks.shift();
            this.offset = 0;
          }
        }
        first.fill(0, i);
        for (let c = 1; c < out.length; c++) out[c].set(first);
        const want = ${kQueuedFrames} - this.queued - this.asked;
        if (want >= 512) {
          this.asked += want;
          this.port.postMessage(want);
        }
        return true;
      }
    }
    registerProcessor('voidcrawl-feed', VoidCrawlFeed);`;

  const page = {
    times: { loaded: 0, started: 0, firstFrame: 0 },
    runs: 0,
    // A replay watched: its name, 'watching', 'verified', 'out of step',
    // 'not verified' (cut short, ended early, other results), 'left' or 'refused', the state hashes matched, the level it lost step
    // at, what the player was told, and when it began and ended.
    replay: { name: '', state: '', hashes: 0, level: 0, text: '', began: 0, ended: 0 },
    // Lists the kept replays again; resolves to how many there are.
    showReplays: () => showReplays(),
    // ?unthrottled: the game's passes run as fast as they go (the tests'
    // way to check a whole replay).
    unthrottled: new URLSearchParams(location.search).has('unthrottled'),
    storageTrouble: '',
    audioFrames: 0,  // sound pulled from the game's mixer so far
    module: null,
    audioContext: null,
    gain: null,  // the player's volume, between the game and the speakers
    volume: 1,
    muted: false,
    worklet: false,
    workletReady: Promise.resolve(false),

    // ---- called by the game (src/hosts/web/*.cpp) -------------------------

    startAudio(module) {
      const context = page.audioContext;
      if (!context) return 0;
      const render = (frames) => {
        page.audioFrames += frames;
        const at = module._vc_web_render_audio(frames) >> 2;
        return module.HEAPF32.subarray(at, at + frames);
      };
      let node;
      if (page.worklet) {
        node = new AudioWorkletNode(context, 'voidcrawl-feed', { numberOfInputs: 0, outputChannelCount: [2] });
        node.port.onmessage = (event) => {
          const samples = render(event.data).slice();
          node.port.postMessage(samples, [samples.buffer]);
        };
      } else {
        node = context.createScriptProcessor(2048, 1, 2);
        node.onaudioprocess = (event) => {
          const out = event.outputBuffer;
          const samples = render(out.length);
          for (let c = 0; c < out.numberOfChannels; c++) out.getChannelData(c).set(samples);
        };
      }
      node.connect(page.gain || context.destination);
      module.vcAudioNode = node;
      return context.sampleRate;
    },

    stopAudio(module) {
      const node = module.vcAudioNode;
      if (!node) return;
      module.vcAudioNode = null;
      node.disconnect();
      if (node.port) node.port.onmessage = null;
      else node.onaudioprocess = null;
    },

    toggleFullscreen() {
      if (document.fullscreenElement) {
        document.exitFullscreen().catch(() => {});
      } else if (stage.requestFullscreen) {
        stage.requestFullscreen().catch(() => {});
      }
    },

    // Messages wait their turn: OK shows the next.
    messages: [],
    showMessage(title, text) {
      console.error(`${title}: ${text}`);
      page.messages.push([title, text]);
      if ($('message').hidden) nextMessage();
    },

    // The picture, enlarged by the page: a whole factor with sharp pixels
    // into the canvas, which the browser then smooths to its shown size.
    // Only the parts that changed (`parts`: [left, top, width, height] each,
    // of the 640 x 480 picture) are uploaded and drawn again: all uploaded
    // first, then all drawn, so that the browser takes one copy of the
    // source a frame, not one a part.
    drawFrame(image, parts = [[0, 0, 640, 480]]) {
      if (!page.source) {
        page.source = document.createElement('canvas');
        page.source.width = 640;
        page.source.height = 480;
      }
      const source = page.source.getContext('2d');
      for (const part of parts) source.putImageData(image, 0, 0, ...part);
      showSource(parts);
    },

    firstFrame() {
      if (!page.times.firstFrame) page.times.firstFrame = performance.now();
    },

    // The browser's storage refused a save (or there is none): the reason
    // until a later save is kept again.
    storageFailed(reason) {
      page.storageTrouble = reason || 'the browser refused to keep them';
    },

    storageKept() {
      page.storageTrouble = '';
    },

    // The game's storage: the database the page lists the replays from,
    // remembered for the next visit's list before the game starts.
    storeOpened(folder) {
      if (folder === replays.store) return;
      replays.store = folder;
      try {
        localStorage.setItem('voidcrawl-store', folder);
      } catch (error) {
        // Listed while the game runs only.
      }
      showReplays();
    },

    storageChanged() {
      showReplays();
    },

    replayStatus(state, hashes, level, text) {
      const replay = page.replay;
      Object.assign(replay, { state, hashes, level, text });
      if (state !== 'watching') replay.ended = performance.now();
      const note = $('replay-note');
      const bad = state === 'refused' || state === 'out of step' || state === 'not verified';
      note.classList.toggle('bad', bad);
      const matched = `${hashes} state hash${hashes === 1 ? '' : 'es'}`;
      note.textContent = {
        watching: `Watching ${replay.name}: ${matched} matched so far.`,
        verified: `${replay.name} played to its end: all ${matched} matched.`,
        'out of step': `${replay.name} went out of step at level ${level} (${matched} matched before).`,
        left: `${replay.name}: left after ${matched} matched.`,
        'not verified': `${replay.name}: ${text}`,
        refused: text,
      }[state] || '';
      if (bad) page.showMessage('VoidCrawl', text);
      showCount();
    },

    gameEnded(module, failed) {
      page.module = null;
      page.playMode('menu', false, 1);
      canvas.hidden = true;
      let text = 'Thanks for playing. Your high scores are kept in this browser.';
      if (failed) text = 'The game could not start. Reload the page, or try again.';
      else if (page.storageTrouble) text = `Thanks for playing. Your high scores could not be kept in this browser (${page.storageTrouble}).`;
      $('ended-text').textContent = text;
      ended.hidden = false;
      $('again').focus();
      showReplays();
    },
  };
  window.voidcrawl = page;

  function nextMessage() {
    const next = page.messages.shift();
    $('message').hidden = !next;
    if (!next) return;
    $('message-title').textContent = next[0];
    $('message-text').textContent = next[1];
  }

  // ---- download --------------------------------------------------------
  // The program is compiled while the data set downloads; the data set comes
  // gzipped and is unpacked here, once, for every run of the game.

  // Bytes received of each download, and its size where the server says it
  // (an encoded download may say less than arrives).
  const received = {};
  function showProgress() {
    let got = 0;
    let total = 0;
    for (const { bytes, size } of Object.values(received)) {
      got += size ? Math.min(bytes, size) : 0;
      total += size;
    }
    progress.value = total > 0 ? got / total : 0;
  }

  async function fetchAll(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
    const entry = received[url] = { bytes: 0, size: Number(response.headers.get('Content-Length')) || 0 };
    if (!response.body || !response.body.getReader) return response.arrayBuffer();
    const reader = response.body.getReader();
    const chunks = [];
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      entry.bytes += value.length;
      showProgress();
    }
    const bytes = new Uint8Array(entry.bytes);
    let at = 0;
    for (const chunk of chunks) {
      bytes.set(chunk, at);
      at += chunk.length;
    }
    return bytes.buffer;
  }

  async function loadProgram() {
    return WebAssembly.compile(await fetchAll('voidcrawl.wasm'));
  }

  // Servers differ: some send the .gz as it is, some mark it gzip-encoded
  // (the browser then unpacks it on the way), some compress it once more on
  // the fly (the browser takes that layer off). What arrives is unpacked
  // only when it starts as gzip does.
  async function loadData() {
    let bytes = await fetchAll('voidcrawl.data.gz');
    if (bytes.byteLength >= 2 && new Uint8Array(bytes, 0, 2).every((byte, i) => byte === [0x1f, 0x8b][i])) {
      if (typeof DecompressionStream !== 'function') {
        throw new Error('this browser cannot unpack the game data (it has no DecompressionStream)');
      }
      const unpacked = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
      bytes = await new Response(unpacked).arrayBuffer();
    }
    return bytes;
  }

  let loaded = null;
  function load() {
    retry.hidden = true;
    progress.hidden = false;
    progress.value = 0;
    status.textContent = 'Loading the game\u2026';
    overlay.classList.add('loading');
    return Promise.all([loadProgram(), loadData()]).then(
      ([program, data]) => {
        loaded = { program, data };
        page.times.loaded = performance.now();
        overlay.classList.remove('loading');
        progress.value = 1;
        progress.hidden = true;
        status.textContent = 'Ready.';
        startHint.hidden = false;
        overlay.focus();
      },
      (error) => {
        overlay.classList.remove('loading');
        progress.hidden = true;
        status.textContent = `The game could not be loaded (${error.message}). Check the connection and try again.`;
        retry.hidden = false;
        console.error(error);
      });
  }
  if (location.protocol === 'file:') {
    // Browsers load no program from a page opened as a file.
    progress.hidden = true;
    status.textContent = 'This page needs a web server: browsers will not run the game from a file. ' +
      'Run "make web-serve" and open http://localhost:8000/, or put this folder on any web server.';
  } else {
    load();
  }
  retry.addEventListener('click', (event) => {
    event.stopPropagation();
    load();
  });

  // ---- the picture's size ----------------------------------------------
  // As on the desktop, in the screen's own pixels: the largest whole factor
  // of the 640 x 480 picture when that is 2 or more, with sharp pixels;
  // otherwise the largest 4:3 area that fits, enlarged sharp by the next
  // whole factor into the canvas and smoothed only from there to its size.

  // The canvas is a whole factor of the picture: a part of it lands on
  // whole pixels, as sharp as the whole.
  function showSource(parts = [[0, 0, 640, 480]]) {
    if (!page.source) return;
    const context = canvas.getContext('2d', { alpha: false });
    context.imageSmoothingEnabled = false;
    const factor = canvas.width / 640;
    for (const [left, top, width, height] of parts) {
      context.drawImage(page.source, left, top, width, height, left * factor, top * factor, width * factor,
        height * factor);
    }
  }

  // On a touch screen the touch controls have room of their own: a column
  // each side of the picture, or the room under it (the picture then at the
  // top), whichever leaves the larger picture. The Replays list, open, has
  // room of its own too, beside the picture or under the controls: the
  // picture gives up what the list needs and play goes on, never covered.
  const touchControls = $('touch');
  const replaysPanel = $('replays');
  const worldPanel = $('world');
  const livePanel = $('live');
  const kTouchButton = 64;  // CSS pixels of a button, where there is room
  const kTouchLeast = 44;  // the smallest a finger still hits
  const kTouchMargin = 12;  // between the buttons and the screen's edge
  const kTouchGap = 8;  // between two buttons (voidcrawl.css)
  const kTouchColumn = 4;  // buttons in a column beside the picture
  const kTouchRow = 5;  // buttons across the screen under it (a cross of three and two)
  const kHelpRow = 48;  // under the picture: the key help and the sound, over the buttons
  const kSummaryRow = 40;  // the Replays title, at the bottom
  const kPanelWidest = 480;  // the open list beside the picture
  const kPanelNarrowest = 260;
  const kWorldWidest = 580;  // the world table: its six columns and a button
  const kLiveWidest = 520;  // the live games: four columns and a button
  const kStackGap = 6;  // between the world table's title and the live games'
  const kPanelShare = 0.45;  // of the width left beside the buttons, at most
  const kPanelLowest = 180;  // the open list under the buttons
  const kPanelTop = 48;  // beside the picture: under the sound and full-screen buttons
  const kPanelEdge = 8;
  const kSummaryLeast = 100;  // the closed list's title, where the picture leaves less
  const touchScreen = (window.matchMedia && window.matchMedia('(any-pointer: coarse)').matches) ||
    navigator.maxTouchPoints > 0;
  document.body.classList.toggle('touch', touchScreen);
  startHint.textContent = touchScreen ? 'Tap to start' : 'Click to start';

  // The picture's size in device pixels in a `width` x `height` area.
  function fit(width, height) {
    const factor = Math.floor(Math.min(width / 640, height / 480));
    if (factor >= 2) return { factor, shown: 640 * factor };
    return { factor, shown: Math.max(4, Math.floor(Math.min(width, (height * 4) / 3) / 4) * 4) };
  }

  const clamp = (value, low, high) => Math.max(low, Math.min(high, value));

  function layout() {
    const ratio = window.devicePixelRatio || 1;
    const width = stage.clientWidth;
    const height = stage.clientHeight;
    const room = { top: 0, right: 0, bottom: 0, left: 0 };
    let arrangement = 'plain';
    let button = kTouchButton;
    let clusters = 0;  // under the picture: the buttons' height
    if (touchScreen) {
      const sideButton = clamp(Math.floor((height - 2 * kTouchMargin - (kTouchColumn - 1) * kTouchGap) / kTouchColumn),
        kTouchLeast, kTouchButton);
      const belowButton = clamp(Math.floor((width - 3 * kTouchMargin - (kTouchRow - 2) * kTouchGap) / kTouchRow),
        kTouchLeast, kTouchButton);
      const column = sideButton + 2 * kTouchMargin;
      const belowClusters = 3 * belowButton + 2 * kTouchGap;
      // (Two rows of titles when the world table's is there over the live games'.)
      const below = kHelpRow + belowClusters + kTouchMargin + kSummaryRow * (worldPanel.hidden ? 1 : 2);
      const side = fit((width - 2 * column) * ratio, height * ratio);
      const under = fit(width * ratio, (height - below) * ratio);
      if (side.shown >= under.shown) {
        arrangement = 'side';
        button = sideButton;
        room.left = room.right = column;
      } else {
        arrangement = 'below';
        button = belowButton;
        clusters = belowClusters;
        room.bottom = below;
      }
    }
    // The open side panel (the replays, the world table or the live games,
    // one at a time): the replays on the right, the others on the left.
    let panelWidth = 0;
    const column = room.left;
    const open = replaysPanel.open ? replaysPanel : worldPanel.open && !worldPanel.hidden ? worldPanel
      : livePanel.open ? livePanel : null;
    if (open) {
      if (arrangement === 'below') {
        room.bottom = Math.max(room.bottom, kHelpRow + clusters + kTouchMargin + kPanelLowest);
      } else {
        const free = width - room.left - room.right;
        const widest = open === worldPanel ? kWorldWidest : open === livePanel ? kLiveWidest : kPanelWidest;
        panelWidth = clamp(Math.floor(free * kPanelShare), Math.min(kPanelNarrowest, free), widest);
        room[open === replaysPanel ? 'right' : 'left'] += panelWidth + 2 * kPanelEdge;
      }
    }
    stage.dataset.layout = arrangement;
    touchControls.className = arrangement === 'plain' ? '' : arrangement;
    touchControls.style.setProperty('--touch-size', `${button}px`);
    let { factor, shown } = fit((width - room.left - room.right) * ratio, (height - room.top - room.bottom) * ratio);
    stage.style.padding = `${room.top}px ${room.right}px ${room.bottom}px ${room.left}px`;
    const backing = factor < 2 ? Math.ceil(shown / 640) : 1;
    canvas.classList.toggle('smooth', factor < 2);
    if (canvas.width !== 640 * backing) {
      canvas.width = 640 * backing;
      canvas.height = 480 * backing;
      showSource();
    }
    canvas.style.width = `${shown / ratio}px`;
    canvas.style.height = `${(shown * 3) / 4 / ratio}px`;
    // Under the picture, everything follows its bottom edge.
    const pictureBottom = arrangement === 'below' ? (shown * 3) / 4 / ratio : 0;
    stage.style.setProperty('--picture-bottom', `${pictureBottom}px`);
    const belowTop = pictureBottom + kHelpRow + clusters + kTouchMargin;
    const beside = (width - shown / ratio) / 2;
    placePanel(replaysPanel, 'right', arrangement, column, panelWidth, belowTop, beside);
    placePanel(worldPanel, 'left', arrangement, column, panelWidth, belowTop, beside);
    placePanel(livePanel, 'left', arrangement, column, panelWidth, belowTop, beside);
    stackLive(arrangement);
  }

  // The live games' title keeps clear of the world table's, where that is
  // shown: beside it in its corner at the top (one row over the picture),
  // above it at the bottom (a touch screen); open, the list starts under
  // the world table's title (or ends over it). While the world table is
  // open its corner is the table's alone.
  function stackLive(arrangement) {
    const box = livePanel.style;
    box.visibility = worldPanel.open && !worldPanel.hidden ? 'hidden' : '';
    if (worldPanel.hidden || worldPanel.open || (livePanel.open && arrangement === 'below')) return;
    const world = worldPanel.getBoundingClientRect();
    const stageBox = stage.getBoundingClientRect();
    if (!touchScreen) {
      if (livePanel.open) {
        const top = Math.round(world.bottom - stageBox.top + kStackGap);
        box.top = `${top}px`;
        box.maxHeight = `${Math.max(kPanelLowest, stage.clientHeight - top - kPanelEdge)}px`;
      } else {
        box.left = `${Math.round(world.right - stageBox.left + kStackGap)}px`;
      }
      return;
    }
    const bottom = Math.round(stageBox.bottom - world.top + kStackGap);
    if (livePanel.open) {
      box.top = 'auto';
      box.maxHeight = `${Math.max(kPanelLowest, stage.clientHeight - bottom - kPanelTop)}px`;
    }
    box.bottom = `${bottom}px`;
  }

  // An open panel in its room, on its `side`; closed, its title keeps its
  // corner, beside the picture (`beside` wide) unless the picture is over
  // it. `column`: the touch buttons' column beside the picture, if any.
  function placePanel(panel, side, arrangement, column, panelWidth, belowTop, beside) {
    const box = panel.style;
    for (const edge of ['top', 'right', 'bottom', 'left', 'width', 'maxWidth', 'maxHeight']) box[edge] = '';
    if (!panel.open) {
      if (arrangement !== 'below') box.maxWidth = `${Math.max(kSummaryLeast, Math.floor(beside) - 2 * kPanelEdge)}px`;
      return;
    }
    if (arrangement === 'below') {
      Object.assign(box, { top: `${belowTop}px`, left: `${kPanelEdge}px`, right: `${kPanelEdge}px`, bottom: 'auto',
        width: 'auto', maxWidth: 'none', maxHeight: `${stage.clientHeight - belowTop - kPanelEdge}px` });
    } else {
      // Inside the buttons' column; the replays under the sound and
      // full-screen buttons, the world table in its corner.
      const top = side === 'right' ? kPanelTop : arrangement === 'side' ? kPanelTop : kPanelEdge;
      Object.assign(box, { top: `${top}px`, [side]: `${column + kPanelEdge}px`, bottom: 'auto',
        [side === 'right' ? 'left' : 'right']: 'auto', width: `${panelWidth}px`, maxWidth: 'none',
        maxHeight: `${stage.clientHeight - top - kPanelEdge}px` });
    }
  }
  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', layout);
  layout();

  // ---- sound -----------------------------------------------------------
  // The volume and the mute button are remembered in the browser; the sound
  // stops while the page is hidden or has lost the focus.

  try {
    const kept = JSON.parse(localStorage.getItem('voidcrawl-sound') || '{}');
    if (typeof kept.volume === 'number' && kept.volume >= 0 && kept.volume <= 1) page.volume = kept.volume;
    page.muted = kept.muted === true;
  } catch (error) {
    // No storage: the sound starts at full volume.
  }

  function showVolume() {
    volume.value = String(page.volume);
    mute.setAttribute('aria-pressed', String(page.muted));
    mute.setAttribute('aria-label', page.muted ? 'Sound on' : 'Mute');
    if (page.gain) page.gain.gain.value = page.muted ? 0 : page.volume;
  }

  function keepVolume() {
    showVolume();
    try {
      localStorage.setItem('voidcrawl-sound', JSON.stringify({ volume: page.volume, muted: page.muted }));
    } catch (error) {
      // Kept for this visit only.
    }
  }
  volume.addEventListener('input', () => {
    page.volume = Number(volume.value);
    page.muted = false;
    keepVolume();
  });
  mute.addEventListener('click', () => {
    page.muted = !page.muted;
    keepVolume();
    canvas.focus();
  });
  showVolume();

  function followFocus() {
    const context = page.audioContext;
    if (!context) return;
    if (document.hidden || !document.hasFocus()) context.suspend().catch(() => {});
    else if (page.module) context.resume().catch(() => {});
  }
  window.addEventListener('blur', followFocus);
  window.addEventListener('focus', followFocus);
  document.addEventListener('visibilitychange', followFocus);

  // ---- running the game ------------------------------------------------

  function unlockAudio() {
    if (!page.audioContext) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return;
      page.audioContext = new Context({ latencyHint: 'interactive' });
      page.gain = page.audioContext.createGain();
      page.gain.connect(page.audioContext.destination);
      showVolume();
      if (page.audioContext.audioWorklet && window.isSecureContext) {
        const url = URL.createObjectURL(new Blob([kWorklet], { type: 'text/javascript' }));
        page.workletReady = page.audioContext.audioWorklet.addModule(url).then(
          () => { page.worklet = true; URL.revokeObjectURL(url); },
          () => { URL.revokeObjectURL(url); });
      }
    }
    page.audioContext.resume().catch(() => {});
  }

  // `replay`: a replay file ({path, bytes}) to watch from the start, as
  // `voidcrawl --replay FILE` does on the desktop.
  async function start(replay) {
    if (!loaded || page.module) return;
    unlockAudio();  // inside the click, so that the browser lets it play
    page.module = 'starting';
    overlay.hidden = true;
    ended.hidden = true;
    canvas.hidden = false;
    layout();
    canvas.focus();
    page.times.started = performance.now();
    page.times.firstFrame = 0;
    page.runs += 1;
    await page.workletReady;
    page.module = await VoidCrawl({
      canvas,
      vcPage: page,
      arguments: replay ? ['--replay', replay.path] : [],
      preRun: replay ? [(module) => putReplay(module, replay)] : [],
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(loaded.program, imports).then((instance) => receive(instance));
        return {};
      },
      getPreloadedPackage: () => loaded.data,
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    });
  }

  overlay.addEventListener('click', () => start());
  overlay.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') start();
  });
  $('again').addEventListener('click', () => start());
  $('message-ok').addEventListener('click', nextMessage);
  $('fullscreen').addEventListener('click', () => {
    page.toggleFullscreen();
    canvas.focus();
  });
  // The touch controls press player 1's keys as the keyboard does (a press
  // and release quicker than a pass still counts); a finger that slides off
  // lets go. The play keys are player 1's own (data-action, as the options
  // chose them); the others press a key by its position (data-key), as the
  // keyboard would.
  for (const button of touchControls.querySelectorAll('button')) {
    let down = false;
    let code = '';
    const press = (now) => {
      if (now === down) return;
      down = now;
      button.classList.toggle('down', now);
      if (button.dataset.key) {
        if (now) code = button.dataset.key;
        pressKey(code, now);
        return;
      }
      const module = page.module;
      if (module && module._vc_web_touch_key) module._vc_web_touch_key(Number(button.dataset.action), now ? 1 : 0);
    };
    button.addEventListener('pointerdown', (event) => {
      event.preventDefault();
      if (button.setPointerCapture) button.setPointerCapture(event.pointerId);
      press(true);
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
      button.addEventListener(type, () => press(false));
    }
  }
  // No mouse events, double-tap zoom or text selection from the buttons.
  touchControls.addEventListener('touchstart', (event) => event.preventDefault(), { passive: false });
  touchControls.addEventListener('contextmenu', (event) => event.preventDefault());

  // A key by its position, pressed or let go, as the page's keyboard sends it.
  function pressKey(code, down) {
    window.dispatchEvent(new KeyboardEvent(down ? 'keydown' : 'keyup', { code, bubbles: true, cancelable: true }));
  }

  // What the buttons offer follows the game (src/hosts/web/WebMain.cpp):
  // 'menu', 'name' (the set-up screen), 'play', 'exit' (the EXIT box) or
  // 'replay', with the replay's pause and speed. The speed button asks for
  // the next speed the game knows.
  const kReplaySpeeds = [1, 2, 4, 8];
  page.play = { mode: 'menu', paused: false, speed: 1 };
  page.playMode = (mode, paused, speed) => {
    Object.assign(page.play, { mode, paused, speed });
    touchControls.dataset.mode = mode;
    const pause = $('replay-pause');
    pause.classList.toggle('paused', paused);
    pause.setAttribute('aria-label', paused ? 'Play the replay on (P)' : 'Pause the replay (P)');
    const next = kReplaySpeeds[(kReplaySpeeds.indexOf(speed) + 1) % kReplaySpeeds.length];
    const faster = $('replay-faster');
    faster.dataset.key = `Digit${next}`;
    faster.textContent = `\u00d7${next}`;
    faster.setAttribute('aria-label', `Speed ${next} (${next})`);
    if (mode !== 'name') {
      nameQueue.length = 0;
      if (document.activeElement === nameKeys) canvas.focus();
    }
  };

  // ---- the system's keyboard for names ----------------------------------
  // A tap on the set-up screen's name field gives a hidden field the focus,
  // so that the phone shows its keyboard; what is typed there reaches the
  // game as key presses, one a few passes apart (the field takes a key once
  // the one before is let go): the letters by the keys that enter them,
  // Backspace for each one taken back, and Enter. The field holds only a
  // rest of its own between edits, so that Backspace always has something
  // to take; what a keyboard composes is followed as it changes.
  const nameKeys = $('name-keys');
  const kNameRest = '\u00a0\u00a0';
  const kPassesPerTypedKey = 3;  // down, up, and one to spare
  // Keys that enter what the game's name field shows, other than A-Z and 0-9.
  const kNameKeys = { ' ': 'Space', '-': 'Minus', '=': 'Equal', ',': 'Comma', '.': 'Period', '*': 'Slash',
    '<': 'Backslash', '\u00c5': 'BracketLeft', '\u00c2': 'BracketRight', '\u00d6': 'Semicolon', '\u00c4': 'Quote' };
  const nameKeyFor = (c) => {
    const upper = c.toUpperCase();
    if (upper >= 'A' && upper <= 'Z' && upper.length === 1) return `Key${upper}`;
    if (c >= '0' && c <= '9') return `Digit${c}`;
    return kNameKeys[upper] || '';
  };
  const nameQueue = [];
  let nameSending = false;
  let nameWas = kNameRest;
  let composing = false;

  function typeKeys(codes) {
    nameQueue.push(...codes);
    if (!nameSending) sendNameKeys();
  }

  async function sendNameKeys() {
    nameSending = true;
    while (nameQueue.length > 0) {
      const module = page.module;
      if (!module || typeof module !== 'object') {
        nameQueue.length = 0;
        break;
      }
      const code = nameQueue.shift();
      const from = module._vc_web_passes();
      pressKey(code, true);
      pressKey(code, false);
      await new Promise((resolve) => {
        const look = () => (page.module !== module || module._vc_web_passes() >= from + kPassesPerTypedKey
          ? resolve() : setTimeout(look, 10));
        look();
      });
    }
    nameSending = false;
  }

  function restName() {
    nameKeys.value = kNameRest;
    nameWas = kNameRest;
  }

  // The field's text against what it held: what went is taken back, what
  // came is typed.
  function followName() {
    const now = nameKeys.value;
    let same = 0;
    while (same < now.length && same < nameWas.length && now[same] === nameWas[same]) same++;
    const codes = [];
    for (const c of nameWas.slice(same)) if (c === '\u00a0' || nameKeyFor(c)) codes.push('Backspace');
    for (const c of now.slice(same)) if (nameKeyFor(c)) codes.push(nameKeyFor(c));
    nameWas = now;
    if (!composing) restName();
    typeKeys(codes);
  }

  nameKeys.addEventListener('input', followName);
  nameKeys.addEventListener('compositionstart', () => { composing = true; });
  nameKeys.addEventListener('compositionend', () => {
    composing = false;
    followName();
  });
  nameKeys.addEventListener('focus', restName);
  // A keyboard's own keys (with a position) reach the game from the window
  // already; a system keyboard's Enter and Backspace have none.
  nameKeys.addEventListener('keydown', (event) => {
    if (event.code || (event.key !== 'Enter' && event.key !== 'Backspace')) return;
    event.preventDefault();
    typeKeys([event.key]);
  });
  // A mouse's click leaves the keyboard to the keyboard. (The click comes
  // after the tap's mousedown, which gives the canvas the focus.)
  let pointerKind = '';
  canvas.addEventListener('pointerdown', (event) => { pointerKind = event.pointerType; });
  canvas.addEventListener('click', (event) => {
    const module = page.module;
    if (pointerKind === 'mouse' || !module || !module._vc_web_on_name_field || page.play.mode !== 'name') return;
    const box = canvas.getBoundingClientRect();
    const x = Math.floor(((event.clientX - box.left) * 640) / box.width);
    const y = Math.floor(((event.clientY - box.top) * 480) / box.height);
    if (module._vc_web_on_name_field(x, y)) nameKeys.focus();
  });

  // ---- key help --------------------------------------------------------
  // Keys are read by position; where the browser can tell what the
  // player's keyboard shows at a position, the help names that.
  if (navigator.keyboard && navigator.keyboard.getLayoutMap) {
    navigator.keyboard.getLayoutMap().then((map) => {
      for (const key of document.querySelectorAll('kbd[data-code]')) {
        const shown = map.get(key.dataset.code);
        if (shown && shown.trim()) key.textContent = shown.toUpperCase();
      }
    }, () => {});
  }

  // ---- replays ----------------------------------------------------------
  // The game keeps each game's replay in its folder, which its storage
  // (IndexedDB, src/hosts/web/WebStore.cpp) keeps in this browser: one
  // record per file, under its path. The list reads them from there, so it
  // is there before the game starts and after it ends.

  const replays = {
    store: (() => {
      try {
        return localStorage.getItem('voidcrawl-store') || '';
      } catch (error) {
        return '';
      }
    })(),
    shown: [],
  };

  // The kept replays, newest first: [{path, name, bytes}].
  function readReplays() {
    return new Promise((resolve) => {
      let request;
      try {
        request = replays.store && typeof indexedDB === 'object' ? indexedDB.open(replays.store) : null;
      } catch (error) {
        request = null;
      }
      if (!request) {
        resolve([]);
        return;
      }
      // No database yet: nothing kept (and none is made here).
      request.onupgradeneeded = () => request.transaction.abort();
      request.onerror = (event) => {
        event.preventDefault();
        resolve([]);
      };
      request.onsuccess = () => {
        const db = request.result;
        const found = [];
        const done = () => {
          db.close();
          resolve(found.sort((a, b) => (a.name < b.name ? 1 : -1)));
        };
        db.onversionchange = () => db.close();
        let transaction;
        try {
          transaction = db.transaction(['FILE_DATA'], 'readonly');
        } catch (error) {
          done();
          return;
        }
        transaction.objectStore('FILE_DATA').openCursor().onsuccess = (event) => {
          const cursor = event.target.result;
          if (!cursor) return;
          const path = String(cursor.key);
          const contents = cursor.value && cursor.value.contents;
          if (path.startsWith(`${replays.store}/`) && path.endsWith('.vcr') && contents) {
            found.push({ path, name: path.slice(path.lastIndexOf('/') + 1), bytes: new Uint8Array(contents) });
          }
          cursor.continue();
        };
        transaction.oncomplete = done;
        transaction.onabort = done;
      };
    });
  }

  // What a replay's header (docs/replay-format.md) tells of its game; null
  // for a file that is not a replay.
  function describeReplay(bytes) {
    if (bytes.length < 160 || String.fromCharCode(...bytes.subarray(0, 4)) !== 'VCRP') return null;
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const text = (at) => {
      let out = '';
      for (let i = at; i < at + 20 && bytes[i]; i++) out += bytes[i] >= 32 && bytes[i] < 127 ? String.fromCharCode(bytes[i]) : '?';
      return out;
    };
    const players = [];
    for (let i = 0; i < Math.min(2, bytes[36]); i++) {
      players.push({ name: text(52 + 20 * i) || '?', score: view.getInt32(112 + 4 * i, true) });
    }
    return {
      players,
      difficulty: ['easy', 'medium', 'hard'][bytes[37]] || '?',
      level: view.getInt32(128, true),
      began: new Date(Number(view.getBigInt64(144, true)) * 1000),
    };
  }

  const sizeText = (n) => (n < 1024 ? `${n} B` : `${(n / 1024).toFixed(n < 10240 ? 1 : 0)} KB`);

  function download(name, bytes) {
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10_000);
  }

  let listing = null;
  function showReplays() {
    // One reading at a time; a change meanwhile reads again after it.
    if (listing) {
      listing.again = true;
      return listing.done;
    }
    listing = { again: false };
    listing.done = readReplays().then((found) => {
      const again = listing.again;
      listing = null;
      fillReplays(found);
      if (again) return showReplays();
      return found.length;
    });
    return listing.done;
  }

  function fillReplays(found) {
    replays.shown = found;
    const body = $('replays-list').tBodies[0];
    body.replaceChildren();
    for (const replay of found) {
      const about = describeReplay(replay.bytes);
      const row = body.insertRow();
      row.classList.toggle('shown', replay.name === page.replay.name);
      const cell = (text, className) => {
        const td = row.insertCell();
        td.textContent = text;
        if (className) td.className = className;
        return td;
      };
      const when = about ? about.began : null;
      cell(when && !Number.isNaN(when.getTime())
        ? when.toLocaleString(undefined, { day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit' })
        : replay.name);
      const players = cell(about ? about.players.map((p) => `${p.name} ${p.score.toLocaleString()}`).join(' \u00b7 ')
        : 'not a replay', 'players');
      if (about) {
        const detail = document.createElement('span');
        detail.className = 'detail';
        detail.textContent = `${about.difficulty}, level ${about.level}`;
        players.append(detail);
      }
      cell(sizeText(replay.bytes.length), 'size');
      const actions = row.insertCell();
      const button = (label, title, act) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = label;
        b.title = title;
        b.addEventListener('click', act);
        actions.append(b);
      };
      button('Watch', `Watch ${replay.name}`, () => watch(replay.name, replay.bytes));
      button('Download', `Download ${replay.name}`, () => download(replay.name, replay.bytes));
    }
    $('replays-none').hidden = found.length > 0;
    $('replays-scroll').hidden = found.length === 0;
    showCount();
  }

  // The panel's title: how many are kept, and how the replay watched goes.
  function showCount() {
    const count = replays.shown.length;
    const { state, hashes } = page.replay;
    const how = { watching: `watching, ${hashes} hashes matched`, verified: `${hashes} hashes matched`,
      'out of step': 'out of step' }[state];
    $('replays').querySelector('summary').textContent = `Replays${count > 0 ? ` (${count})` : ''}${how ? ` \u00b7 ${how}` : ''}`;
  }

  // Where a replay to watch is put in the game's memory: a folder of its
  // own, under the file's name made safe.
  function replayPath(name) {
    return `/watch/${(name.replace(/[^A-Za-z0-9._-]/g, '_') || 'replay').slice(-80)}`;
  }

  function putReplay(module, replay) {
    module.FS.mkdirTree('/watch');
    module.FS.writeFile(replay.path, replay.bytes);
  }

  // Watches the replay file `name`: in the game that runs, or in one
  // started for it.
  async function watch(name, bytes) {
    const replay = { path: replayPath(name), bytes };
    Object.assign(page.replay, { name, state: 'opening', hashes: 0, level: 0, text: '', began: performance.now(),
      ended: 0 });
    unlockAudio();  // inside the click or drop, as browsers ask
    if (!page.module) {
      if (!loaded) await until(() => loaded);
      await start(replay);
    } else {
      await until(() => page.module !== 'starting');
      putReplay(page.module, replay);
      page.module.ccall('vc_web_watch_replay', null, ['string'], [replay.path]);
    }
    fillReplays(replays.shown);  // marks the one watched
    $('replays').open = false;  // the picture is what to look at now
    canvas.focus();
  }

  function until(test) {
    return new Promise((resolve) => {
      const look = () => (test() ? resolve() : setTimeout(look, 50));
      look();
    });
  }

  async function watchFile(file) {
    if (!file) return;
    watch(file.name, new Uint8Array(await file.arrayBuffer()));
  }

  $('replay-open').addEventListener('click', () => $('replay-file').click());
  $('replay-file').addEventListener('change', (event) => {
    watchFile(event.target.files[0]);
    event.target.value = '';
  });
  // A file dropped anywhere on the page is watched.
  let dragging = 0;
  const carriesFiles = (event) => event.dataTransfer && Array.from(event.dataTransfer.types).includes('Files');
  stage.addEventListener('dragenter', (event) => {
    if (!carriesFiles(event)) return;
    dragging++;
    $('drop').hidden = false;
  });
  stage.addEventListener('dragleave', () => {
    dragging = Math.max(0, dragging - 1);
    if (dragging === 0) $('drop').hidden = true;
  });
  stage.addEventListener('dragover', (event) => {
    if (carriesFiles(event)) event.preventDefault();
  });
  stage.addEventListener('drop', (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    dragging = 0;
    $('drop').hidden = true;
    watchFile(event.dataTransfer.files[0]);
  });
  $('replays').addEventListener('toggle', () => {
    if ($('replays').open) showReplays();
    layout();
  });
  showReplays();

  // ---- the world table ----------------------------------------------------
  // The tables of a world server (voidcrawl-server, docs/server.md): every
  // row a game the server played through from its replay. The panel is
  // there only when the page is served by one, which it says in one of two
  // ways; nothing is asked of a plain static server, not even whether it is
  // a world server:
  //   - the server puts <meta name="voidcrawl-world" content="same-origin">
  //     into index.html when it serves it: the world is this page's own
  //     server, its API beside the page (api/v1/, relative, so a reverse
  //     proxy may serve it under a folder);
  //   - the page's address says ?world=URL (?world alone, or
  //     ?world=same-origin: this page's server), for a page kept elsewhere.
  // Then GET api/v1/health must answer before the panel shows. Names and
  // every other word from the server are shown as text, never as markup.
  // The games this browser sent (their ids, kept by the game as its answers
  // come, src/hosts/web/WebWorld.cpp) are marked.
  const kWorldRows = 10;  // a page of the table
  const kWorldWaitMs = 10_000;  // for an answer of the server
  const kWorldAnswerBytes = 256 * 1024;  // a page of rows is a few kilobytes
  const kWorldReplayBytes = 1024 * 1024;  // no replay is larger (the game refuses one it cannot hold)
  const kWorldOwnKey = 'voidcrawl-world-own';
  const kWorldOwnMost = 500;  // the newest games sent that are remembered
  const kDifficulties = ['Easy', 'Medium', 'Hard'];

  function worldBase() {
    const asked = new URLSearchParams(location.search).get('world');
    const meta = document.querySelector('meta[name="voidcrawl-world"]');
    const said = asked !== null ? asked : meta && meta.content === 'same-origin' ? '' : null;
    if (said === null) return '';
    try {
      const url = new URL(said === '' || said === 'same-origin' ? '.' : said, location.href);
      if (url.protocol !== 'http:' && url.protocol !== 'https:') return '';
      url.search = '';
      url.hash = '';
      return url.href.endsWith('/') ? url.href : `${url.href}/`;
    } catch (error) {
      return '';
    }
  }

  // The games this browser sent: [{id, difficulty, score}], newest last; in
  // the page's storage when it has one, else for this visit.
  const ownGames = (() => {
    try {
      const kept = JSON.parse(localStorage.getItem(kWorldOwnKey) || '[]');
      return Array.isArray(kept) ? kept.filter((g) => g && typeof g.id === 'string' && /^[0-9a-f]{16}$/.test(g.id) &&
        [0, 1, 2].includes(g.difficulty) && Number.isSafeInteger(g.score)).slice(-kWorldOwnMost) : [];
    } catch (error) {
      return [];
    }
  })();

  const world = {
    base: worldBase(),
    shown: false,  // the server answered: the panel is there
    difficulty: 0,
    offset: 0,
    total: 0,
    rows: [],
    state: '',  // '', 'loading', 'ready', 'failed'
    text: '',
    // A game sent and ranked (by the game's link): remembered as this
    // browser's, and the table shown again.
    sent(id, difficulty, score) {
      if (!/^[0-9a-f]{16}$/.test(String(id)) || ![0, 1, 2].includes(difficulty) || !Number.isSafeInteger(score)) return;
      if (!ownGames.some((g) => g.id === id)) {
        ownGames.push({ id, difficulty, score });
        ownGames.splice(0, Math.max(0, ownGames.length - kWorldOwnMost));
        try {
          localStorage.setItem(kWorldOwnKey, JSON.stringify(ownGames));
        } catch (error) {
          // Marked for this visit only.
        }
      }
      if (world.shown && worldPanel.open && difficulty === world.difficulty) showWorld();
    },
    own: (id) => ownGames.some((g) => g.id === id),
    // This browser's best game of a difficulty (its id), '' when none.
    best(difficulty) {
      let best = null;
      for (const g of ownGames) if (g.difficulty === difficulty && (!best || g.score > best.score)) best = g;
      return best ? best.id : '';
    },
    show: (difficulty, offset) => showWorld(difficulty, offset),
  };
  page.world = world;

  // An answer of the server, at most `most` bytes of it, within kWorldWaitMs.
  async function worldFetch(path, most) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), kWorldWaitMs);
    try {
      const response = await fetch(new URL(path, world.base), { signal: abort.signal, cache: 'no-store' });
      const chunks = [];
      let size = 0;
      if (response.body && response.body.getReader) {
        const reader = response.body.getReader();
        for (;;) {
          const { done, value } = await reader.read();
          if (done) break;
          size += value.length;
          if (size > most) {
            abort.abort();
            throw new Error(`the server's answer is over ${most} bytes`);
          }
          chunks.push(value);
        }
      } else {
        const whole = new Uint8Array(await response.arrayBuffer());
        if (whole.length > most) throw new Error(`the server's answer is over ${most} bytes`);
        chunks.push(whole);
        size = whole.length;
      }
      const bytes = new Uint8Array(size);
      let at = 0;
      for (const chunk of chunks) {
        bytes.set(chunk, at);
        at += chunk.length;
      }
      return { status: response.status, headers: response.headers, bytes };
    } catch (error) {
      if (error.name === 'AbortError') throw new Error('the server did not answer in time');
      if (error instanceof TypeError) throw new Error('the server cannot be reached');
      throw error;
    } finally {
      clearTimeout(timer);
    }
  }

  const worldJson = (bytes) => {
    try {
      return JSON.parse(new TextDecoder().decode(bytes));
    } catch (error) {
      return undefined;
    }
  };

  // What went wrong, in the server's words where it gave some (cut short).
  function worldRefusal(answer) {
    const body = worldJson(answer.bytes);
    const said = body && typeof body.error === 'string' ? body.error.slice(0, 200) : '';
    return said || `the server answered ${answer.status}`;
  }

  // A row as the server sent it, made safe; null for one that is not a row.
  function worldRow(row) {
    if (!row || typeof row !== 'object') return null;
    const count = (n, least) => (Number.isSafeInteger(n) && n >= least ? n : null);
    const rank = count(row.rank, 1);
    const score = Number.isSafeInteger(row.score) ? row.score : null;
    if (rank === null || score === null) return null;
    return {
      rank,
      name: typeof row.name === 'string' ? row.name.slice(0, 40) : '',
      score,
      level: count(row.level, 0),
      length: count(row.length, 0),
      date: typeof row.date === 'string' && /^\d{4}-\d{2}-\d{2}$/.test(row.date) ? row.date : '',
      replay: typeof row.replay === 'string' && /^[0-9a-f]{16}$/.test(row.replay) ? row.replay : '',
      player: row.player === 2 ? 2 : 1,
    };
  }

  let worldAsked = 0;
  async function showWorld(difficulty = world.difficulty, offset = world.offset) {
    const asked = ++worldAsked;
    Object.assign(world, { difficulty, offset: Math.max(0, offset), state: 'loading' });
    fillWorld();
    try {
      const answer = await worldFetch(
        `api/v1/scores?difficulty=${world.difficulty}&limit=${kWorldRows}&offset=${world.offset}`, kWorldAnswerBytes);
      if (asked !== worldAsked) return;
      if (answer.status !== 200) throw new Error(worldRefusal(answer));
      const body = worldJson(answer.bytes);
      if (!Array.isArray(body)) throw new Error('the server\'s answer is not a table');
      const total = Number(answer.headers.get('X-Total-Count'));
      const rows = body.slice(0, kWorldRows).map(worldRow).filter(Boolean);
      Object.assign(world, { rows, state: 'ready', text: '',
        total: Number.isSafeInteger(total) && total >= 0 ? total : world.offset + rows.length });
      // Past the end (the table shrank, or a hand-made address): its last page.
      if (rows.length === 0 && world.offset > 0 && world.total > 0) {
        showWorld(world.difficulty, Math.floor((world.total - 1) / kWorldRows) * kWorldRows);
        return;
      }
    } catch (error) {
      if (asked !== worldAsked) return;
      Object.assign(world, { rows: [], state: 'failed', text: `The world table could not be read: ${error.message}.` });
    }
    fillWorld();
  }

  function fillWorld() {
    for (const tab of $('world-tabs').children) {
      const chosen = Number(tab.dataset.difficulty) === world.difficulty;
      tab.setAttribute('aria-selected', String(chosen));
      tab.tabIndex = chosen ? 0 : -1;
    }
    const body = $('world-list').tBodies[0];
    body.replaceChildren();
    for (const row of world.rows) {
      const tr = body.insertRow();
      const own = world.own(row.replay);
      tr.classList.toggle('own', own);
      tr.classList.toggle('shown', row.replay !== '' && page.replay.name === worldReplayName(row.replay));
      const cell = (text, className) => {
        const td = tr.insertCell();
        td.textContent = text;
        if (className) td.className = className;
        return td;
      };
      cell(row.rank.toLocaleString(), 'rank');
      const name = cell(row.name || '?', 'name');
      if (own) {
        const mark = document.createElement('span');
        mark.className = 'own-mark';
        mark.textContent = 'you';
        mark.title = 'Sent from this browser';
        name.append(mark);
      }
      cell(row.score.toLocaleString(), 'number');
      cell(row.level === null ? '' : String(row.level), 'number');
      cell(row.length === null ? '' : String(row.length), 'number length');
      cell(row.date, 'date');
      const actions = tr.insertCell();
      if (row.replay) {
        const watchButton = document.createElement('button');
        watchButton.type = 'button';
        watchButton.textContent = 'Watch';
        watchButton.title = `Watch ${row.name || 'this game'}'s game`;
        watchButton.addEventListener('click', () => watchWorld(row.replay));
        actions.append(watchButton);
      }
    }
    const note = $('world-note');
    note.classList.toggle('bad', world.state === 'failed');
    note.textContent = world.state === 'failed' ? world.text
      : world.state === 'loading' && world.rows.length === 0 ? 'Reading the table\u2026'
        : world.state === 'ready' && world.rows.length === 0 ? `No games on the ${kDifficulties[world.difficulty]
          .toLowerCase()} table yet. Turn on sending in the game's options, and yours will be the first.` : '';
    $('world-scroll').hidden = world.rows.length === 0;
    const first = world.rows.length > 0 ? world.rows[0].rank : 0;
    const last = world.rows.length > 0 ? world.rows[world.rows.length - 1].rank : 0;
    $('world-range').textContent = world.rows.length > 0
      ? `${first.toLocaleString()}\u2013${last.toLocaleString()} of ${world.total.toLocaleString()}` : '';
    $('world-previous').disabled = world.state === 'loading' || world.offset === 0;
    $('world-next').disabled = world.state === 'loading' || world.offset + kWorldRows >= world.total;
    $('world-pages').hidden = world.total <= kWorldRows && world.offset === 0;
  }

  const worldReplayName = (id) => `voidcrawl-${id}.vcr`;

  // A row's game, downloaded and watched as a replay file is.
  async function watchWorld(id) {
    unlockAudio();  // inside the click, as browsers ask
    const note = $('world-note');
    note.classList.remove('bad');
    note.textContent = 'Downloading the game\u2026';
    try {
      const answer = await worldFetch(`api/v1/replays/${id}`, kWorldReplayBytes);
      if (answer.status !== 200) throw new Error(worldRefusal(answer));
      note.textContent = '';
      await watch(worldReplayName(id), answer.bytes);
      fillWorld();
      worldPanel.open = false;
    } catch (error) {
      note.classList.add('bad');
      note.textContent = `The game could not be downloaded: ${error.message}.`;
    }
  }

  async function findWorld() {
    if (!world.base) return;
    try {
      const answer = await worldFetch('api/v1/health', kWorldAnswerBytes);
      const body = worldJson(answer.bytes);
      if (answer.status !== 200 || !body || body.status !== 'ok') {
        console.warn(`VoidCrawl: the world server at ${world.base} is not ready (${worldRefusal(answer)})`);
        return;
      }
    } catch (error) {
      console.warn(`VoidCrawl: no world table: ${error.message}`);
      return;
    }
    world.shown = true;
    worldPanel.hidden = false;
    layout();
  }

  for (const tab of $('world-tabs').children) {
    tab.addEventListener('click', () => showWorld(Number(tab.dataset.difficulty), 0));
  }
  $('world-tabs').addEventListener('keydown', (event) => {
    const by = { ArrowLeft: -1, ArrowRight: 1 }[event.key];
    if (!by) return;
    event.preventDefault();
    const next = (world.difficulty + by + kDifficulties.length) % kDifficulties.length;
    showWorld(next, 0).then(() => {});
    $('world-tabs').children[next].focus();
  });
  $('world-previous').addEventListener('click', () => showWorld(world.difficulty, world.offset - kWorldRows));
  $('world-next').addEventListener('click', () => showWorld(world.difficulty, world.offset + kWorldRows));
  // One side panel at a time: the world table, the live games or the replays.
  worldPanel.addEventListener('toggle', () => {
    if (worldPanel.open) {
      replaysPanel.open = false;
      livePanel.open = false;
      showWorld();
    }
    layout();
  });
  replaysPanel.addEventListener('toggle', () => {
    if (replaysPanel.open) {
      worldPanel.open = false;
      livePanel.open = false;
    }
  });
  findWorld();

  // ---- the live games -----------------------------------------------------
  // The games under way in the world server's rooms (GET api/v1/live,
  // docs/server.md, "Watching"): asked for when the list opens and again
  // every kLiveEveryMs while it is open and the page is in view, one ask at
  // a time (the next is set only once the last has answered). An answer
  // over kLiveAnswerBytes or of another shape is refused in words; at most
  // kLiveRowsShown rows are shown, every word from the server as text. A
  // row's Watch hands its room's code to the game, which watches the game
  // through its world link (vc_web_watch_live). A page no world server
  // serves asks nothing, and says the list needs one.
  const kLiveEveryMs = 3000;
  const kLiveAnswerBytes = 64 * 1024;
  const kLiveRowsShown = 32;
  const kLiveNameMost = 40;  // characters of a name shown (a game's names are 20 bytes)
  const kLiveCodeBytes = 8;  // the game's buffer for a room's code, with its zero
  const live = {
    state: '',  // '', 'loading', 'ready', 'failed', 'no server'
    rows: [],
    total: 0,
    text: '',
    watching: '',  // the code of the game asked to be watched
    asks: 0,  // answers asked for (the tests count them)
    inFlight: false,
    timer: 0,
    refresh: () => refreshLive(),
  };
  page.live = live;

  // A row as the server sent it, made safe; null for one that is not a row
  // (no room's code: nothing to watch).
  function liveRow(row) {
    if (!row || typeof row !== 'object' || typeof row.code !== 'string' || !/^[A-Z]{5}$/.test(row.code)) return null;
    const names = Array.isArray(row.names) ? row.names.slice(0, 2) : [];
    const name = (n) => (typeof n === 'string' && n !== '' ? n.slice(0, kLiveNameMost) : '?');
    return {
      code: row.code,
      names: [name(names[0]), name(names[1])],
      difficulty: [0, 1, 2].includes(row.difficulty) ? row.difficulty : null,
      watchers: Number.isSafeInteger(row.watchers) && row.watchers >= 0 ? row.watchers : null,
      ended: row.ended === true,
    };
  }

  const liveShown = () => livePanel.open && document.visibilityState === 'visible';

  async function refreshLive() {
    clearTimeout(live.timer);
    live.timer = 0;
    if (!world.base) {
      Object.assign(live, { state: 'no server', rows: [], total: 0 });
      fillLive();
      return;
    }
    if (live.inFlight || !liveShown()) return;
    live.inFlight = true;
    live.asks++;
    if (live.state !== 'ready') live.state = 'loading';
    fillLive();
    try {
      const answer = await worldFetch('api/v1/live', kLiveAnswerBytes);
      if (answer.status !== 200) throw new Error(worldRefusal(answer));
      const body = worldJson(answer.bytes);
      if (!body || typeof body !== 'object' || !Array.isArray(body.live)) {
        throw new Error('the server\'s answer is not a list of games');
      }
      const rows = body.live.map(liveRow).filter(Boolean);
      Object.assign(live, { state: 'ready', text: '', rows: rows.slice(0, kLiveRowsShown), total: rows.length });
    } catch (error) {
      Object.assign(live, { state: 'failed', rows: [], total: 0,
        text: `The list of live games could not be read: ${error.message}.` });
    } finally {
      live.inFlight = false;
    }
    fillLive();
    if (liveShown()) live.timer = setTimeout(refreshLive, kLiveEveryMs);
  }

  function fillLive() {
    const body = $('live-list').tBodies[0];
    body.replaceChildren();
    const watched = ['opening', 'watching'].includes(page.replay.state) ? live.watching : '';
    for (const row of live.rows) {
      const tr = body.insertRow();
      tr.classList.toggle('shown', row.code === watched);
      const cell = (text, className) => {
        const td = tr.insertCell();
        td.textContent = text;
        if (className) td.className = className;
        return td;
      };
      const players = cell(row.names.join(' \u00b7 '), 'players');
      players.title = row.names.join(' and ');
      const detail = document.createElement('span');
      detail.className = 'detail';
      detail.textContent = row.ended ? 'ended' : 'in play';
      players.append(detail);
      cell(row.difficulty === null ? '?' : kDifficulties[row.difficulty], 'difficulty');
      cell(row.watchers === null ? '' : String(row.watchers), 'number');
      cell(row.code, 'room');
      const actions = tr.insertCell();
      const watchButton = document.createElement('button');
      watchButton.type = 'button';
      watchButton.textContent = 'Watch';
      watchButton.title = `Watch the game in room ${row.code}`;
      watchButton.addEventListener('click', () => watchLive(row.code));
      actions.append(watchButton);
    }
    const note = $('live-note');
    note.classList.toggle('bad', live.state === 'failed');
    note.textContent = live.state === 'no server'
      ? 'The list of live games needs the world server (voidcrawl-server): this page was served without it.'
      : live.state === 'failed' ? live.text
        : live.state === 'loading' && live.rows.length === 0 ? 'Asking the world server\u2026'
          : live.state === 'ready' && live.rows.length === 0 ? 'No games are being played right now.'
            : live.total > live.rows.length ? `The newest ${live.rows.length} of ${live.total} games.` : '';
    $('live-scroll').hidden = live.rows.length === 0;
  }

  // The game in the room `code`, watched in the game that runs (or one
  // started for it); the picture is then what to look at.
  async function watchLive(code) {
    unlockAudio();  // inside the click, as browsers ask
    live.watching = code;
    Object.assign(page.replay, { name: `the live game ${code}`, state: 'opening', hashes: 0, level: 0, text: '',
      began: performance.now(), ended: 0 });
    livePanel.open = false;
    if (!page.module) {
      if (!loaded) await until(() => loaded);
      await start();
    }
    await until(() => page.module !== 'starting');
    const module = page.module;
    if (!module) return;
    // (Straight into the game's buffer: a ccall would wait for the frame
    // loop's sleep to end.)
    const at = module._vc_web_live_code();
    const bytes = new TextEncoder().encode(code).subarray(0, kLiveCodeBytes - 1);
    module.HEAPU8.fill(0, at, at + kLiveCodeBytes);
    module.HEAPU8.set(bytes, at);
    module._vc_web_watch_live(at);
    canvas.focus();
  }

  livePanel.addEventListener('toggle', () => {
    if (livePanel.open) {
      replaysPanel.open = false;
      worldPanel.open = false;
      refreshLive();
    } else {
      clearTimeout(live.timer);
      live.timer = 0;
    }
    layout();
  });
  document.addEventListener('visibilitychange', () => {
    if (liveShown() && !live.timer && !live.inFlight) refreshLive();
  });

  // A click on the picture gives the game the keyboard.
  canvas.addEventListener('mousedown', () => canvas.focus());
})();
