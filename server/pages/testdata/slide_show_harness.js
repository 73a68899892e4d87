// Runs the slide show's inline scripts under node against a minimal stand-in for jQuery and
// the page, then replays what the browser would do and prints the state after each step.
//
//   node slide_show_harness.js SCRIPT QUERY STEPS
//
// SCRIPT holds the page's inline scripts, QUERY is the page's query string ("?page=..."),
// STEPS a JSON list of steps: "ready" (document ready), "tick" (the sequence timer fires; the
// fade-out completes at once), "load" (the image finishes loading), ["reply", BODY] (the
// pending count request answers with BODY, or fails for null), "minute" (the count timer
// fires), ["slide", VALUE] (the slider moves). The scripts are evaluated in this file's scope (sloppy mode, so their globals
// stay readable here). After each step one line is printed:
//   src=<image source> index=<currentIndex> size=<array length> max=<maxNumber>
//   timer=<delay of the running sequence timer> log=<console lines since the last step>
// followed by " fades=out MS|in MS" when the step faded the image.
const fs = require('fs');

const source = fs.readFileSync(process.argv[2], 'latin1');
const window = {location: {search: process.argv[3]}};
const steps = JSON.parse(process.argv[4]);

const ready = [];
const timers = new Map();
let nextTimer = 1;
let pendingAjax = null;
let loadHandler = null;
const element = {src: '', slider: '', display: '', sliderInput: null};
let logs = [];
let fades = [];

function $(what) {
  if (typeof what === 'function') {
    ready.push(what);
    return;
  }
  const self = {
    fadeOut: (ms, done) => { fades.push(`out ${ms}`); done(); return self; },
    fadeIn: (ms) => { fades.push(`in ${ms}`); return self; },
    off: () => { loadHandler = null; return self; },
    one: (event, f) => { loadHandler = f; return self; },
    attr: (name, value) => { element.src = value; return self; },
    removeAttr: () => self,
    val: function (value) {
      if (value === undefined) return element.slider;
      element.slider = String(value);
      return self;
    },
    text: (value) => { element.display = String(value); return self; },
    on: (event, f) => { element.sliderInput = f; return self; },
  };
  return self;
}
$.ajax = (options) => {
  pendingAjax = options;
  return {done: (f) => { pendingAjax.done = f; }};
};
const console = {log: (text) => logs.push(text)};
function setInterval(f, delay) { timers.set(nextTimer, {f, delay}); return nextTimer++; }
function clearInterval(id) { timers.delete(id); }
function fitImg() {}
// ImagePage.js's, for a phone 390 CSS px wide at 3 device pixels each.
function screenWidth() { return 1170; }

eval(source);

for (const step of steps) {
  const [name, arg] = Array.isArray(step) ? step : [step];
  if (name === 'ready') ready.forEach((f) => f());
  if (name === 'tick') timers.get(intervalID).f();
  if (name === 'load' && loadHandler) { const f = loadHandler; loadHandler = null; f(); }
  if (name === 'minute') [...timers.values()].find((t) => t.delay === 60000).f();
  if (name === 'reply') {
    if (arg !== null) pendingAjax.done(arg);
    pendingAjax = null;
  }
  if (name === 'slide') { element.slider = String(arg); element.sliderInput.call({}); }
  const timer = timers.get(intervalID);
  process.stdout.write(`src=${element.src} index=${currentIndex} size=${array2.length} ` +
                       `max=${maxNumber} timer=${timer ? timer.delay : ''} ` +
                       `slider=${element.slider}/${element.display} log=${logs.join('|')}` +
                       (fades.length ? ` fades=${fades.join('|')}\n` : '\n'));
  logs = [];
  fades = [];
}
