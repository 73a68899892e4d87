// Runs one of the server's page scripts under node against a minimal stand-in for jQuery and
// the page, then replays events on it and prints what each replay did.
//
//   node script_harness.js SCRIPT CASES
//
// SCRIPT is the script file; CASES a JSON file holding a list of cases, each a list of steps
// [handler, event]. A handler is named "target:event" as the script bound it ("document:keydown",
// "window:keyup", "article:touchmove", "window:load", ".fitImg:dblclick", ...). The event object
// is passed as given, with preventDefault() counting its calls; the step ["image:size", {...}]
// sets the picture's natural size instead. location.replace() sets the location as an
// assignment does. Before each case the location,
// the counter and the element state are reset. For each case one line is printed:
//   href=<location after the case> prevented=<count> header=<classes of #header> css=<css of .fitImg>
'use strict';
const fs = require('fs');

const source = fs.readFileSync(process.argv[2], 'latin1');
const cases = JSON.parse(fs.readFileSync(process.argv[3], 'utf8'));

const handlers = {};
const anchors = {'#NextPage': 'next', '#PrevPage': 'prev', '#RandomPage': 'random'};
const window = {
  location: {
    href: '',
    replace(url) {
      this.href = url;
    },
  },
};
const document = {};
let header, fitImgCss, image;

function reset() {
  window.location.href = '';
  header = new Set(['HideDefault']);
  fitImgCss = {};
  image = {naturalWidth: 400, naturalHeight: 200};
}

function $(what) {
  if (typeof what === 'function') return what();  // document ready: run at once
  const name = what === document ? 'document' : what === window ? 'window' : what;
  const bind = (events, f) => {
    for (const e of events.split(' ')) handlers[name + ':' + e] = f;
  };
  return {
    keydown: (f) => bind('keydown', f),
    keyup: (f) => bind('keyup', f),
    on: bind,
    attr: (a) => (a === 'href' ? anchors[name] : undefined),
    width: () => 1000,
    height: () => 600,
    each: (f) => f.call(image),
    css: (values) => Object.assign(fitImgCss, values),
    outerHeight: () => {},
    hasClass: (c) => header.has(c),
    removeClass: function (cs) {
      for (const c of cs.split(' ')) header.delete(c);
      return this;
    },
    addClass: function (c) {
      header.add(c);
      return this;
    },
  };
}

eval(source);

for (const steps of cases) {
  reset();
  let prevented = 0;
  for (const [handler, event] of steps) {
    if (handler === 'image:size') {
      Object.assign(image, event);
      continue;
    }
    const e = Object.assign({preventDefault: () => ++prevented}, event);
    if (!handlers[handler]) throw new Error('no handler ' + handler);
    handlers[handler].call(handler.endsWith('dblclick') ? image : undefined, e);
  }
  const css = Object.keys(fitImgCss).sort().map((k) => k + ':' + fitImgCss[k]).join(',');
  console.log(`href=${window.location.href} prevented=${prevented} ` +
              `header=${[...header].sort().join(',')} css=${css}`);
}
