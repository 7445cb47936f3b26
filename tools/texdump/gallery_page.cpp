#include "texdump/gallery_page.h"

#include <map>

#include "common/html.h"

namespace mivo {
namespace {

constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\">"
    "<meta name=\"viewport\" content=\"width=device-width\"><title>mivo_texdump gallery</title><style>"
    "body{font:13px/1.35 system-ui,sans-serif;margin:0;color:#222;background:#fafafa}"
    "header{position:sticky;top:0;background:#fff;border-bottom:1px solid #ddd;padding:.6em 1em;display:flex;"
    "gap:1em;align-items:center;flex-wrap:wrap;z-index:1}"
    "#grid{display:flex;flex-wrap:wrap;gap:10px;padding:10px}[hidden]{display:none!important}"
    ".card{width:190px;background:#fff;border:1px solid #ddd;border-radius:4px;padding:6px;"
    "content-visibility:auto;contain-intrinsic-size:190px 260px;overflow-wrap:anywhere}"
    ".card.bad{border-color:#d66;background:#fff5f5}"
    ".pic{display:flex;align-items:center;justify-content:center;width:128px;height:128px;margin:0 auto 4px;"
    "background:repeating-conic-gradient(#ddd 0 25%,#fff 0 50%) 0 0/16px 16px;color:#777}"
    ".pic img{width:128px;height:128px;object-fit:contain;image-rendering:pixelated}"
    ".n{font-weight:600}.k{font:11px ui-monospace,monospace;color:#555}.k span{display:inline-block;max-width:100%}"
    ".e{color:#b3261e}summary{cursor:pointer;color:#555}.more{max-height:12em;overflow-y:auto;font-size:12px}"
    "</style></head><body>\n";

// Filtering hides cards; sorting moves them. Both work on data read from the
// cards once, so ten thousand cards take a few milliseconds.
constexpr const char* kScript =
    "<script>\n"
    "(function(){\n"
    "const grid=document.getElementById('grid'),filter=document.getElementById('filter'),"
    "sort=document.getElementById('sort'),failed=document.getElementById('failed'),"
    "count=document.getElementById('count');\n"
    "const text=(c,k)=>{const e=c.querySelector(k);return e?e.textContent:'';};\n"
    "const items=Array.from(grid.children,(c,i)=>({c:c,i:i,n:text(c,'.n'),f:text(c,'.f'),s:Number(c.dataset.s),"
    "m:Number(c.dataset.m),d:c.querySelector('details'),l:text(c,'.more').toLowerCase(),"
    "t:c.textContent.toLowerCase(),bad:c.classList.contains('bad')}));\n"
    "const total=items.reduce((n,it)=>n+1+it.m,0);\n"
    "const cmp=(a,b)=>a<b?-1:a>b?1:0;\n"
    "const orders={input:(a,b)=>a.i-b.i,name:(a,b)=>cmp(a.n,b.n)||a.i-b.i,"
    "format:(a,b)=>cmp(a.f,b.f)||cmp(a.n,b.n)||a.i-b.i,size:(a,b)=>b.s-a.s||a.i-b.i};\n"
    "function apply(){const q=filter.value.trim().toLowerCase(),only=failed.checked;let shown=0;"
    "for(const it of items){const v=(!q||it.t.includes(q))&&(!only||it.bad);it.c.hidden=!v;if(v)shown+=1+it.m;"
    "if(v&&q&&it.d&&it.l.includes(q))it.d.open=true;}"
    "count.textContent=shown+' of '+total+' dumps shown';}\n"
    "function order(){const f=document.createDocumentFragment();"
    "for(const it of items.slice().sort(orders[sort.value]))f.appendChild(it.c);grid.appendChild(f);}\n"
    "filter.addEventListener('input',apply);failed.addEventListener('change',apply);"
    "sort.addEventListener('change',order);apply();\n"
    "})();\n"
    "</script>\n";

std::string Attr(const std::string& text) { return "\"" + HtmlEscape(text) + "\""; }

// The key and the name as two unbreakable halves, the line broken at "__"
// when the card is too narrow for both, never inside the name.
std::string PackKeyHtml(const std::string& pack_key) {
  const size_t split = pack_key.find("__");
  if (split == std::string::npos) return HtmlEscape(pack_key);
  return "<span>" + HtmlEscape(pack_key.substr(0, split + 2)) + "</span><wbr><span>" +
         HtmlEscape(pack_key.substr(split + 2)) + "</span>";
}

std::string Picture(const GalleryCard& card) {
  if (card.thumbnail.empty()) return "<div class=\"pic\">no image</div>";
  std::string img = "<img loading=\"lazy\" alt=\"\" src=" + Attr(UrlEncodePath(card.thumbnail)) + " width=\"" +
                    std::to_string(card.thumbnail_width) + "\" height=\"" + std::to_string(card.thumbnail_height) +
                    "\">";
  if (!card.full_image.empty()) img = "<a href=" + Attr(UrlEncodePath(card.full_image)) + ">" + img + "</a>";
  return "<div class=\"pic\">" + img + "</div>";
}

std::string Card(const GalleryCard& card) {
  // The script reads name, formats and the text to filter on from the card
  // itself, so nothing is written twice.
  const uint64_t texels = uint64_t(card.width) * card.height * card.depth_or_layers;
  std::string html = "<div class=\"card" + std::string(card.failed ? " bad" : "") + "\" data-s=\"" +
                     std::to_string(card.described ? texels : 0) + "\" data-m=\"" + std::to_string(card.more.size()) +
                     "\">" + Picture(card) + "<div class=\"n\">" + HtmlEscape(card.name) + "</div>";
  if (card.described) {
    html += "<div class=\"f\">" + HtmlEscape(card.guest_format) + " &rarr; " + HtmlEscape(card.host_format) +
            "</div><div>" + std::to_string(card.width) + "x" + std::to_string(card.height) + "x" +
            std::to_string(card.depth_or_layers) + ", " + std::to_string(card.levels) +
            (card.levels == 1 ? " level, " : " levels, ") + (card.tiled ? "tiled" : "linear") + "</div>";
  }
  if (!card.content_key.empty()) html += "<div class=\"k\">key " + HtmlEscape(card.content_key) + "</div>";
  if (!card.pack_key.empty()) html += "<div class=\"k\">pack " + PackKeyHtml(card.pack_key) + "</div>";
  if (card.failed) html += "<div class=\"e\">" + HtmlEscape(card.error) + "</div>";
  if (!card.more.empty()) {
    html += "<details><summary>and " + std::to_string(card.more.size()) + " more</summary><div class=\"more\">";
    for (const std::string& name : card.more) html += "<div>" + HtmlEscape(name) + "</div>";
    html += "</div></details>";
  }
  return html + "</div>\n";
}

}  // namespace

std::vector<GalleryCard> GroupCopies(std::vector<GalleryCard> cards) {
  std::vector<GalleryCard> shown;
  std::map<std::string, size_t> first_of_group;
  for (GalleryCard& card : cards) {
    const auto found = card.group.empty() ? first_of_group.end() : first_of_group.find(card.group);
    if (card.copy && found != first_of_group.end()) {
      shown[found->second].more.push_back(std::move(card.name));
      continue;
    }
    if (!card.group.empty()) first_of_group.try_emplace(card.group, shown.size());
    shown.push_back(std::move(card));
  }
  return shown;
}

std::string BuildGalleryPage(const std::vector<GalleryCard>& cards) {
  size_t failed = 0, dumps = 0;
  for (const GalleryCard& card : cards) {
    failed += card.failed ? 1 : 0;
    dumps += 1 + card.more.size();
  }
  std::string html = kHead;
  html += "<header><strong>" + std::to_string(dumps) + " dumps, " + std::to_string(failed) +
          " failed</strong>"
          "<input id=\"filter\" type=\"search\" placeholder=\"filter: name, key or format\" size=\"30\">"
          "<label>sort <select id=\"sort\"><option value=\"input\">input order</option><option value=\"name\">name"
          "</option><option value=\"format\">format</option><option value=\"size\">size, largest first</option>"
          "</select></label><label><input id=\"failed\" type=\"checkbox\"> failed only</label>"
          "<span id=\"count\"></span></header>\n<main id=\"grid\">\n";
  html.reserve(html.size() + cards.size() * 400);
  for (const GalleryCard& card : cards) html += Card(card);
  html += "</main>\n";
  html += kScript;
  return html + "</body></html>\n";
}

}  // namespace mivo
