// The page's side of the web backends (page.h): its screens, its animation
// frames and its sound, as an Emscripten JS library. The page's elements are
// in page.html. What the page is doing is kept in window.zirbelon, for the
// viewer's console and for the tests:
//   state    "loading", "start", "running", "ended", "no-webgl", or "paused" (?row=R)
//   frames   frames shown so far
//   seconds  the music position of the latest frame, read at page time read_at (ms)
//   notice   the last notice shown, or ""
//   fullscreen  whether the start went fullscreen

mergeInto(LibraryManager.library, {
  $page: {
    // A waiting call of the program that never calls on.
    forever: function() {
      return new Promise(() => {});
    },
    status: function(state) {
      window.zirbelon.state = state;
      document.body.dataset.state = state;
    },
    screen: function(lines) {
      const screen = document.getElementById('screen');
      screen.replaceChildren(...lines.map(([kind, text]) => {
        const line = document.createElement('p');
        line.className = kind;
        line.textContent = text;
        return line;
      }));
      screen.hidden = lines.length === 0;
    },
    notice: function(text) {
      const notice = document.getElementById('notice');
      notice.textContent = text;
      notice.hidden = false;
      window.zirbelon.notice = text;
    },
    // Resolves on the first click or key but Escape (which means leave, not
    // start); `during` runs inside that gesture, where the browser allows
    // fullscreen and sound. A key the browser does not count as a gesture
    // (Shift alone, say) is passed over, or the sound would stay off.
    gesture: function(during) {
      return new Promise((resolve) => {
        const done = (event) => {
          if (event.type === 'keydown' && event.key === 'Escape') return;
          if (navigator.userActivation && !navigator.userActivation.isActive) return;
          event.preventDefault();
          window.removeEventListener('pointerdown', done);
          window.removeEventListener('keydown', done);
          during();
          resolve();
        };
        window.addEventListener('pointerdown', done);
        window.addEventListener('keydown', done);
      });
    },
  },

  $audioWeb: {
    // The sound's lead: the tune starts this long after play, at a context
    // time the page knows exactly.
    LEAD_SECONDS: 0.1,
    context: null,
    tune: null,      // the decoded AudioBuffer, or null: silence on the page's clock
    source: null,
    start: null,     // context time (seconds) or, silent, page time (ms) when play starts
    frequency: 44100,
    open: function(frequency) {
      audioWeb.frequency = frequency;
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return;
      try {
        audioWeb.context = new Context({sampleRate: frequency});
        audioWeb.context.resume().catch(() => {});
      } catch (error) {
        audioWeb.context = null;
      }
    },
  },

  page_paused_row: function() {
    const row = new URLSearchParams(window.location.search).get('row');
    if (row === null || row.trim() === '') return -1;
    const value = Number(row);
    return Number.isFinite(value) && value >= 0 ? value : -1;
  },

  page_next_frame: function() {
    return Asyncify.handleSleep((wakeUp) => {
      window.zirbelon.frames += 1;
      requestAnimationFrame(() => wakeUp());
    });
  },

  page_stop_without_webgl__deps: ['$page'],
  page_stop_without_webgl: function() {
    return Asyncify.handleSleep(() => {
      page.status('no-webgl');
      page.screen([['title', 'ZIRBELON'],
                   ['message', 'This presentation draws with WebGL 2, which this browser does not offer ' +
                               'or has switched off.'],
                   ['hint', 'Try a current Chrome, Edge or Firefox with hardware acceleration on.']]);
    });
  },

  page_running: function() {
    return window.zirbelon.state === 'running';
  },

  page_cursor_hide: function() {
    document.body.classList.add('hide-cursor');
  },

  page_notice__deps: ['$page'],
  page_notice: function(text) {
    page.notice(UTF8ToString(text));
  },

  page_wait_for_start__deps: ['$page', '$audioWeb', 'page_paused_row'],
  page_wait_for_start: function(frequency) {
    return Asyncify.handleSleep((wakeUp) => {
      if (_page_paused_row() >= 0) {
        page.screen([]);
        page.status('paused');
        wakeUp();
        return;
      }
      page.status('start');
      page.screen([['title', 'ZIRBELON'], ['hint', 'click or press a key']]);
      page.gesture(() => {
        audioWeb.open(frequency);
        const stage = document.documentElement;
        if (stage.requestFullscreen) {
          stage.requestFullscreen({navigationUI: 'hide'})
              .then(() => { window.zirbelon.fullscreen = true; })
              .catch(() => { window.zirbelon.fullscreen = false; });
        }
      }).then(() => {
        page.screen([]);
        document.body.classList.add('running');
        page.status('running');
        wakeUp();
      });
    });
  },

  page_end__deps: ['$page'],
  page_end: function() {
    return Asyncify.handleSleep(() => {
      page.status('ended');
      document.body.classList.remove('running');
      if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
      page.screen([['title', 'ZIRBELON'],
                   ['message', 'The end. Thank you for watching.'],
                   ['hint', 'Click or press a key (or reload the page) to start again.']]);
      page.gesture(() => window.location.reload());
    });
  },

  page_audio_decode__deps: ['$audioWeb'],
  page_audio_decode: function(bytes, size, frames) {
    return Asyncify.handleSleep((wakeUp) => {
      const Offline = window.OfflineAudioContext || window.webkitOfflineAudioContext;
      if (!Offline) {
        wakeUp(0);
        return;
      }
      const copy = HEAPU8.slice(bytes, bytes + size).buffer;
      let decoder;
      try {
        decoder = new Offline(2, 1, audioWeb.frequency);
      } catch (error) {
        wakeUp(0);
        return;
      }
      decoder.decodeAudioData(copy).then((buffer) => {
        audioWeb.tune = buffer;
        HEAPF64[frames >> 3] = buffer.length;
        wakeUp(1);
      }, () => wakeUp(0));
    });
  },

  page_audio_play__deps: ['$audioWeb', '$page'],
  page_audio_play: function(offset) {
    const context = audioWeb.context;
    if (!context && audioWeb.tune) {
      page.notice('The browser gives no sound output: the presentation runs silent on the page\'s clock.');
    }
    if (context && audioWeb.tune) {
      const source = context.createBufferSource();
      source.buffer = audioWeb.tune;
      source.connect(context.destination);
      audioWeb.start = context.currentTime + audioWeb.LEAD_SECONDS;
      source.start(audioWeb.start, offset);
      audioWeb.source = source;
    } else {
      audioWeb.tune = null;
      audioWeb.start = performance.now() + audioWeb.LEAD_SECONDS * 1000;
    }
  },

  page_audio_audible__deps: ['$audioWeb'],
  page_audio_audible: function(frames, nowMs) {
    if (audioWeb.start === null) return 0;
    const context = audioWeb.context;
    let seconds, at;
    if (audioWeb.source) {
      if (context.state !== 'running') return 0;
      if (context.getOutputTimestamp) {
        const stamp = context.getOutputTimestamp();
        if (!stamp.performanceTime) return 0;
        seconds = stamp.contextTime - audioWeb.start;
        at = stamp.performanceTime;
      } else {
        seconds = context.currentTime - (context.outputLatency || context.baseLatency || 0) - audioWeb.start;
        at = performance.now();
      }
    } else {
      at = performance.now();
      seconds = (at - audioWeb.start) / 1000;
    }
    HEAPF64[frames >> 3] = seconds * audioWeb.frequency;
    HEAPF64[nowMs >> 3] = at;
    return 1;
  },

  page_audio_report: function(seconds) {
    window.zirbelon.seconds = seconds;
    window.zirbelon.read_at = performance.now();
  },

  page_audio_stop__deps: ['$audioWeb'],
  page_audio_stop: function() {
    if (audioWeb.source) {
      audioWeb.source.stop();
      audioWeb.source.disconnect();
      audioWeb.source = null;
    }
    audioWeb.start = null;
  },

  page_audio_close__deps: ['$audioWeb'],
  page_audio_close: function() {
    if (audioWeb.context) audioWeb.context.close().catch(() => {});
    audioWeb.context = null;
  },
});
