// Runs the image page's like script under node against a stand-in for jQuery whose ajax call
// answers as MODE says, clicks the like button once and prints what the script did.
//
//   node like_script_harness.js SCRIPT MODE
//
// MODE is "success" (the reply's state is "success"), "refused" (a reply with state "error")
// or "failed" (the request fails). One line is printed:
//   url=<url> type=<type> dataType=<type> colours=<background colours set, in order>
//   warnings=<console.warn calls> errors=<console.error calls> alert=<alert text or nothing>
// The script is read as Latin-1 and the alert text written back the same way, so its bytes are
// the page's own (Shift-JIS).
'use strict';
const fs = require('fs');

const source = fs.readFileSync(process.argv[2], 'latin1');
const mode = process.argv[3];

let click = null;
let request = {};
const colours = [];
let warnings = 0;
let errors = 0;
let alerted = '';

const button = {
  on: (event, f) => {
    if (event === 'click') click = f;
  },
  css: (name, value) => {
    if (name === 'background-color') colours.push(value === '' ? '(none)' : value);
  },
};

function $(what) {
  if (typeof what === 'function') return what();  // document ready: run at once
  return button;  // '#btn1' and $(this) alike
}
$.ajax = (options) => {
  request = options;
  const answer = {
    done: (f) => {
      if (mode === 'success') f({state: 'success', response: 'xxx', viewNum: '1'});
      if (mode === 'refused') f({state: 'error', message: 'index_not_found'});
      return answer;
    },
    fail: (f) => {
      if (mode === 'failed') f({}, 'error', 'Not Found');
      return answer;
    },
  };
  return answer;
};
const console = {warn: () => ++warnings, error: () => ++errors};
const alert = (text) => { alerted = text; };

eval(source);
click.call(button);
process.stdout.write(
    `url=${request.url} type=${request.type} dataType=${request.dataType} ` +
    `colours=${colours.join(',')} warnings=${warnings} errors=${errors} alert=`);
process.stdout.write(Buffer.from(alerted, 'latin1'));
process.stdout.write('\n');
