#include "packcheck/report_assets.h"

namespace mivo {

const char kReportStyle[] = R"CSS(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.4em .6em;text-align:left;vertical-align:top}
.summary th{background:#f3f3f3}code{font:12px ui-monospace,monospace;word-break:break-all}
.verdict{font-weight:bold}.ok .verdict{color:#17692b}.bad .verdict{color:#b3261e}
.hint{color:#b3261e;font-weight:bold}.likeness{font:12px ui-monospace,monospace;white-space:nowrap}
.rows{border:1px solid #ccc;border-bottom:0;max-width:75em}
.row,.head{display:grid;grid-template-columns:3.5em 10em minmax(12em,1fr) 12em 150px 150px;border-bottom:1px solid #ccc}
.row>div,.head>div{padding:.4em .6em;border-right:1px solid #ccc}.row>div:last-child,.head>div:last-child{border:0}
.head{font-weight:bold}.row{cursor:pointer;content-visibility:auto;contain-intrinsic-size:auto 200px}
.row.current{outline:3px solid #1a73e8;outline-offset:-3px}
.controls{margin:.5em 0;display:flex;gap:1.5em;align-items:center}
figure{margin:0;width:140px}figcaption{font-size:12px;color:#555}
img.thumb,.placeholder{display:block;width:128px;height:128px;object-fit:contain;image-rendering:pixelated}
.checker,img.thumb{background:repeating-conic-gradient(#ddd 0 25%,#fff 0 50%) 0 0/16px 16px}
.placeholder{background:#eee;color:#666;font-size:12px;display:flex;align-items:center;justify-content:center;
text-align:center}
#compare{position:fixed;inset:0;background:#1e1e1e;color:#eee;display:flex;flex-direction:column;z-index:1}
#compare[hidden]{display:none}
#cv-bar{padding:.5em 1em;display:flex;gap:1.2em;align-items:center;flex-wrap:wrap}
#cv-bar button{font:inherit}#cv-title{font-weight:bold;width:100%}#cv-figures{font:12px ui-monospace,monospace}
#cv-port{position:relative;flex:1;overflow:hidden;cursor:grab;touch-action:none}
#cv-stage{position:absolute;left:0;top:0;isolation:isolate}
#cv-stage img{position:absolute;left:0;top:0;width:100%;height:100%;image-rendering:pixelated}
#cv-line{position:absolute;top:0;bottom:0;width:0;border-left:1px solid #ff0;pointer-events:none}
.mode-alpha #cv-stage img{filter:url(#mv-alpha)}
.mode-diff #cv-stage img{filter:url(#mv-opaque)}.mode-diff #cv-r{mix-blend-mode:difference}
.mode-diff #cv-stage{filter:url(#mv-amplify)}.mode-diff #cv-line{display:none}
)CSS";

const char kReportFilters[] =
    "<svg width=\"0\" height=\"0\" style=\"position:absolute\" aria-hidden=\"true\">"
    "<filter id=\"mv-opaque\" color-interpolation-filters=\"sRGB\" x=\"0\" y=\"0\" width=\"1\" "
    "height=\"1\"><feColorMatrix type=\"matrix\" "
    "values=\"1 0 0 0 0 0 1 0 0 0 0 0 1 0 0 0 0 0 0 1\"/></filter>"
    "<filter id=\"mv-alpha\" color-interpolation-filters=\"sRGB\" x=\"0\" y=\"0\" width=\"1\" "
    "height=\"1\"><feColorMatrix type=\"matrix\" "
    "values=\"0 0 0 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 0 1\"/></filter>"
    "<filter id=\"mv-amplify\" color-interpolation-filters=\"sRGB\" x=\"0\" y=\"0\" width=\"1\" "
    "height=\"1\"><feComponentTransfer>"
    "<feFuncR type=\"linear\" slope=\"4\"/><feFuncG type=\"linear\" slope=\"4\"/><feFuncB type=\"linear\" slope=\"4\"/>"
    "</feComponentTransfer></filter></svg>";

// Pictures are read as files beside the page, never as pixels: a page
// opened from the disk may not read them back. Difference and alpha views
// are compositing (a difference blend, colour-matrix filters) instead.
const char kReportScript[] = R"JS(
(() => {
'use strict';
const $ = id => document.getElementById(id);
const body = $('row-list');
const inOrder = Array.from(body.children);
const view = {row: null, zoom: 1, split: 50, flip: 0, mode: 'wipe', level: 0, x: 0, y: 0};
const visibleRows = () => Array.from(body.children).filter(r => !r.hidden);

function arrange() {
  const order = $('sort').value, only = $('hinted').checked;
  // Rows without figures go last either way; ties keep the pack's order.
  const least = r => r.dataset.ssim === '' ? 2 : +r.dataset.ssim;
  const most = r => r.dataset.ssim === '' ? -2 : +r.dataset.ssim;
  const rows = inOrder.slice();
  if (order === 'least') rows.sort((a, b) => least(a) - least(b));
  if (order === 'most') rows.sort((a, b) => most(b) - most(a));
  for (const r of rows) r.hidden = only && !r.dataset.hint;
  if (rows.some((r, i) => body.children[i] !== r)) body.replaceChildren(...rows);
  $('count').textContent = visibleRows().length + ' of ' + inOrder.length + ' rows';
}

function figures(r) {
  const f = r.querySelector('.likeness');
  return (f ? f.innerText.replace(/\n/g, ', ') : '') + (r.dataset.hint ? ' - ' + r.dataset.hint : '');
}

function setCurrent(r) {
  if (view.row) view.row.classList.remove('current');
  view.row = r;
  r.classList.add('current');
  r.scrollIntoView({block: 'nearest'});
}

function open(r) {
  setCurrent(r);
  const levels = r.dataset.r ? r.dataset.r.split(' ') : [];
  const pick = $('cv-level');
  pick.textContent = '';
  levels.forEach((u, i) => pick.add(new Option('level ' + i + ' (' + Math.max(1, r.dataset.w >> i) + 'x' +
                                               Math.max(1, r.dataset.h >> i) + ')', i)));
  view.level = 0; view.flip = 0;
  $('cv-title').textContent = '#' + r.dataset.n + ' ' + r.dataset.file;
  $('cv-figures').textContent = figures(r);
  $('compare').hidden = false;
  fit();
  render();
}

function close() { $('compare').hidden = true; if (view.row) view.row.focus(); }

function size() {
  const r = view.row;
  return [(+r.dataset.w || +r.dataset.ow || 1) * view.zoom, (+r.dataset.h || +r.dataset.oh || 1) * view.zoom];
}

// The largest zoom at which the whole picture fits, at least 1x.
function fit() {
  const port = $('cv-port').getBoundingClientRect();
  view.zoom = 1;
  const [w, h] = size();
  while (view.zoom < 16 && w * view.zoom * 2 <= port.width && h * view.zoom * 2 <= port.height) view.zoom *= 2;
  centre();
}

function centre() {
  const port = $('cv-port').getBoundingClientRect(), [w, h] = size();
  view.x = Math.round((port.width - w) / 2);
  view.y = Math.round((port.height - h) / 2);
}

function render() {
  const r = view.row, c = $('compare'), [w, h] = size();
  c.classList.toggle('mode-diff', view.mode === 'diff');
  c.classList.toggle('mode-alpha', view.mode === 'alpha');
  const stage = $('cv-stage');
  stage.style.width = w + 'px'; stage.style.height = h + 'px';
  stage.style.transform = 'translate(' + view.x + 'px,' + view.y + 'px)';
  const levels = r.dataset.r ? r.dataset.r.split(' ') : [];
  const o = $('cv-o'), rep = $('cv-r');
  o.src = r.dataset.o || ''; o.hidden = !r.dataset.o;
  const src = view.mode === 'diff' ? (r.dataset.s || levels[0]) : levels[view.level];
  rep.src = src || ''; rep.hidden = !src;
  // Left of the line the original, right of it the replacement.
  const split = view.mode === 'diff' ? 0 : view.flip === 1 ? 100 : view.flip === 2 ? 0 : view.split;
  rep.style.clipPath = 'inset(0 0 0 ' + split + '%)';
  $('cv-line').style.left = (view.x + w * split / 100) + 'px';
  $('cv-zoom').value = view.zoom;
  $('cv-wipe').value = view.split;
  $('cv-level').value = view.level;
  for (const b of document.querySelectorAll('#cv-bar [data-mode]')) b.setAttribute('aria-pressed', b.dataset.mode === view.mode);
  $('cv-state').textContent = view.mode === 'diff' ? 'difference x4 (original against the shrunk replacement)' :
      (view.mode === 'alpha' ? 'alpha as grey; ' : '') +
      (view.flip === 1 ? 'original' : view.flip === 2 ? 'replacement' : 'original | replacement');
}

function zoomTo(z, cx, cy) {
  const port = $('cv-port').getBoundingClientRect();
  const px = cx === undefined ? port.width / 2 : cx, py = cy === undefined ? port.height / 2 : cy;
  z = Math.min(16, Math.max(1, z));
  view.x = Math.round(px - (px - view.x) * z / view.zoom);
  view.y = Math.round(py - (py - view.y) * z / view.zoom);
  view.zoom = z;
  render();
}

function step(by) {
  const rows = visibleRows();
  if (!rows.length) return;
  const at = rows.indexOf(view.row);
  const next = rows[Math.min(rows.length - 1, Math.max(0, at < 0 ? 0 : at + by))];
  if ($('compare').hidden) { setCurrent(next); next.focus(); } else open(next);
}

body.addEventListener('click', e => { const r = e.target.closest('.row'); if (r) open(r); });
$('sort').addEventListener('change', arrange);
$('hinted').addEventListener('change', arrange);
$('cv-close').addEventListener('click', close);
$('cv-zoom').addEventListener('change', e => zoomTo(+e.target.value));
$('cv-wipe').addEventListener('input', e => { view.split = +e.target.value; view.flip = 0; render(); });
$('cv-level').addEventListener('change', e => { view.level = +e.target.value; render(); });
for (const b of document.querySelectorAll('#cv-bar [data-mode]')) {
  b.addEventListener('click', () => { view.mode = view.mode === b.dataset.mode ? 'wipe' : b.dataset.mode; render(); });
}
const port = $('cv-port');
let drag = null;
port.addEventListener('pointerdown', e => { drag = [e.clientX - view.x, e.clientY - view.y]; port.setPointerCapture(e.pointerId); });
port.addEventListener('pointermove', e => { if (drag) { view.x = e.clientX - drag[0]; view.y = e.clientY - drag[1]; render(); } });
port.addEventListener('pointerup', () => { drag = null; });
port.addEventListener('wheel', e => {
  e.preventDefault();
  const box = port.getBoundingClientRect();
  zoomTo(e.deltaY < 0 ? view.zoom * 2 : view.zoom / 2, e.clientX - box.left, e.clientY - box.top);
}, {passive: false});
document.addEventListener('keydown', e => {
  const t = e.target;
  if (t.tagName === 'SELECT' || (t.tagName === 'INPUT' && t.type !== 'checkbox') || e.ctrlKey || e.metaKey || e.altKey) return;
  const inView = !$('compare').hidden;
  const keys = {
    ArrowDown: () => step(1), ArrowUp: () => step(-1), j: () => step(1), k: () => step(-1),
    Enter: () => { if (!inView && view.row) open(view.row); },
  };
  if (inView) Object.assign(keys, {
    Escape: close,
    f: () => { view.flip = view.flip === 1 ? 2 : 1; render(); },
    d: () => { view.mode = view.mode === 'diff' ? 'wipe' : 'diff'; render(); },
    a: () => { view.mode = view.mode === 'alpha' ? 'wipe' : 'alpha'; render(); },
    w: () => { view.mode = 'wipe'; view.flip = 0; render(); },
    '+': () => zoomTo(view.zoom * 2), '=': () => zoomTo(view.zoom * 2), '-': () => zoomTo(view.zoom / 2),
    ArrowLeft: () => { view.x += 32; render(); }, ArrowRight: () => { view.x -= 32; render(); },
    '0': () => { fit(); render(); },
  });
  const act = keys[e.key] || keys[e.key.toLowerCase()];
  if (act) { e.preventDefault(); act(); }
});
window.addEventListener('resize', () => { if (!$('compare').hidden) render(); });
arrange();
})();
)JS";

}  // namespace mivo
