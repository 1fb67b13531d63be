// The console's page: draws the snapshots the console publishes (scope
// tree, result pane, context menus, the snap-in's windows) and sends the
// user's actions back. It long-polls /api/state: each request waits until
// the console's snapshot changes, then the page redraws and asks again.
"use strict";

const VK = { TAB: 9, RETURN: 13, ESCAPE: 27, SPACE: 32, LEFT: 37, UP: 38, RIGHT: 39, DOWN: 40, DELETE: 46, F2: 113 };

const page = {
  view: 0,
  version: "0",
  state: null,
  display: null,
  sort: { column: -1, descending: false },
  menuPoint: { x: 80, y: 80 },
  shownMenu: "0",
  seenOpens: 0,
  positions: new Map(),   // window handle -> {left, top} after the user moved it
  pendingText: new Map(), // edit handle -> text typed but not yet seen back
  renameShown: "",
  lastFocus: "0",
  hoverStatus: null,
};

const $ = (id) => document.getElementById(id);

function el(tag, props, ...children) {
  const node = document.createElement(tag);
  if (props) {
    for (const [key, value] of Object.entries(props)) {
      if (value === undefined || value === null || value === false) continue;
      if (key === "class") node.className = value;
      else if (key === "text") node.textContent = value;
      else if (key === "style") Object.assign(node.style, value);
      else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
      else if (key === "dataset") Object.assign(node.dataset, value);
      else node.setAttribute(key, value === true ? "" : value);
    }
  }
  for (const child of children) if (child !== null && child !== undefined) node.append(child);
  return node;
}

function iconUrl(name, size = 16) {
  if (name && name.startsWith("res://")) return `/resimage?address=${encodeURIComponent(name)}`;
  if (!name || name.startsWith("res:")) name = "text-x-generic";
  return `/icons/${size}/${encodeURIComponent(name)}.png`;
}

// "&Delete" shows D underlined, as menus and dialogs do; "&&" is an ampersand.
function withAccessKey(text) {
  const span = document.createElement("span");
  const parts = String(text || "").split("&&");
  parts.forEach((part, index) => {
    if (index > 0) span.append("&");
    const at = part.indexOf("&");
    if (at >= 0 && at + 1 < part.length) {
      span.append(part.slice(0, at), el("span", { class: "access", text: part[at + 1] }), part.slice(at + 2).replace(/&/g, ""));
    } else {
      span.append(part.replace(/&/g, ""));
    }
  });
  return span;
}
const plain = (text) => String(text || "").replace(/&&/g, "\u0000").replace(/&/g, "").replace(/\u0000/g, "&");

// ---- Talking to the console --------------------------------------------------

async function send(path, body) {
  const response = await fetch(path, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(body || {}),
    credentials: "same-origin",
  });
  if (!response.ok) throw new Error(`${path}: ${response.status}`);
  return response.json();
}

// The user's actions reach the console in the order they were made (text
// typed into a box before the click on OK), so they travel one at a time.
let sending = Promise.resolve();
function post(path, body) {
  const result = sending.then(() => send(path, body));
  sending = result.catch(() => {});
  return result;
}

function command(type, extra) {
  if (!page.view) return;
  post("/api/command", Object.assign({ view: page.view, type }, extra || {})).catch(() => {});
}

function input(type, target, extra) {
  post("/api/input", Object.assign({ type, target: String(target) }, extra || {})).catch(() => {});
}

async function openView() {
  for (;;) {
    try {
      const answer = await post("/api/view");
      page.view = answer.view;
      return;
    } catch (error) {
      showNotice("The console cannot be reached. Retrying…", true);
      await new Promise((r) => setTimeout(r, 2000));
    }
  }
}

async function pollLoop() {
  let failures = 0;
  for (;;) {
    try {
      const response = await fetch(`/api/state?view=${page.view}&since=${page.version}`, { credentials: "same-origin", cache: "no-store" });
      if (response.status === 403) {
        showNotice("This page is no longer allowed to use the console. Open the address kvmmc printed.", true);
        return;
      }
      if (!response.ok) throw new Error(String(response.status));
      const state = await response.json();
      failures = 0;
      clearNotice("offline");
      if (!state.view && state.ready && page.state && page.state.view) {
        // The console forgot this tab (it stayed away too long): start again.
        await openView();
        page.version = "0";
        continue;
      }
      page.version = state.version;
      render(state);
    } catch (error) {
      failures += 1;
      showNotice("The console is not answering. Is kvmmc still running?", true, "offline");
      await new Promise((r) => setTimeout(r, Math.min(5000, 500 * failures)));
    }
  }
}

// ---- Notices -------------------------------------------------------------------

function showNotice(text, isError, key = "general", action) {
  let notice = document.querySelector(`.notice[data-key="${key}"]`);
  if (!notice) {
    notice = el("div", { class: "notice" + (isError ? " error" : ""), dataset: { key } });
    $("notices").append(notice);
  }
  notice.replaceChildren(el("span", { class: "grow", text }));
  if (action) notice.append(action);
  notice.append(el("button", { type: "button", class: "ctl-button", text: "Dismiss", onclick: () => notice.remove() }));
}
function clearNotice(key) {
  const notice = document.querySelector(`.notice[data-key="${key}"]`);
  if (notice) notice.remove();
}

// ---- Drawing -------------------------------------------------------------------

function render(state) {
  // A tab opened later does not offer what earlier tabs were offered.
  if (!page.state) page.seenOpens = (state.opensBefore || 0) + (state.opens || []).length;
  page.state = state;
  page.display = state.display;
  document.title = state.title || "Console";
  $("title").textContent = state.title || "Console";
  if (state.failure) showNotice(state.failure, true, "failure");
  // Web addresses the snap-in opened: offered once each (a page may not open
  // a tab without the user's click).
  const opens = state.opens || [];
  const before = state.opensBefore || 0;
  opens.forEach((address, index) => {
    const number = before + index;
    if (number < page.seenOpens) return;
    const button = el("button", { type: "button", class: "ctl-button", text: "Open in new tab", onclick: () => window.open(address, "_blank", "noopener") });
    showNotice(`The console asks to open ${address}`, false, "open" + number, button);
  });
  page.seenOpens = Math.max(page.seenOpens, before + opens.length);
  document.body.classList.toggle("busy", !!(state.display && state.display.waitCursor));
  $("busy-indicator").hidden = !(state.display && state.display.waitCursor);
  const view = state.view;
  renderTree(view);
  renderResult(view);
  renderToolbar(view);
  renderMenu(view);
  renderWindows(state.display);
  if (page.hoverStatus === null) $("status-text").textContent = view ? view.status || "" : "";
}

function renderTree(view) {
  const scope = $("scope");
  const hadFocus = document.activeElement === scope || scope.contains(document.activeElement);
  const renaming = view && view.rename && view.rename.startsWith("scope:") ? view.rename.slice(6) : "";
  if (renaming && page.renameShown === "scope:" + renaming && scope.querySelector(".rename-box")) return;
  scope.replaceChildren();
  if (!view) return;
  for (const node of view.tree) {
    const row = el("div", {
      class: "node" + (node.id === view.selected ? " selected" : ""),
      role: "treeitem",
      "aria-level": node.depth + 1,
      "aria-expanded": node.hasChildren ? String(node.expanded) : null,
      "aria-selected": String(node.id === view.selected),
      dataset: { id: node.id, name: node.name },
      style: { paddingLeft: `${6 + node.depth * 16}px` },
    });
    const twisty = el("span", { class: "twisty" + (node.hasChildren ? (node.expanded ? " open" : " has") : "") });
    twisty.addEventListener("click", (event) => {
      event.stopPropagation();
      if (node.hasChildren) command("expand", { item: node.id, expand: !node.expanded });
    });
    row.append(twisty, el("img", { src: iconUrl(node.icon), alt: "" }));
    if (renaming === node.id) {
      row.append(renameBox(node.name, true, node.id));
    } else {
      row.append(el("span", { class: "label", text: node.name }));
    }
    row.addEventListener("mousedown", (event) => {
      if (event.button !== 0 || event.target === twisty) return;
      scope.focus();
      if (node.id !== view.selected) command("select-scope", { item: node.id });
    });
    row.addEventListener("dblclick", () => node.hasChildren && command("expand", { item: node.id, expand: !node.expanded }));
    row.addEventListener("contextmenu", (event) => {
      event.preventDefault();
      scope.focus();
      openContextMenu(event.clientX, event.clientY, "scope", node.id);
    });
    scope.append(row);
  }
  page.renameShown = renaming ? "scope:" + renaming : "";
  const box = scope.querySelector(".rename-box");
  if (box) {
    box.focus();
    box.select();
  } else if (hadFocus) {
    scope.focus();
  }
}

function renameBox(text, isScope, id) {
  let done = false;
  const finish = (commit) => {
    if (done) return;
    done = true;
    page.renameShown = "";
    if (commit && box.value !== text) command("rename", { scope: isScope, item: id, text: box.value });
    else command("cancel-rename");
  };
  const box = el("input", { class: "rename-box", type: "text", value: text, "aria-label": "New name" });
  box.value = text;
  box.addEventListener("keydown", (event) => {
    event.stopPropagation();
    if (event.key === "Enter") finish(true);
    else if (event.key === "Escape") finish(false);
  });
  box.addEventListener("blur", () => finish(true));
  box.addEventListener("mousedown", (event) => event.stopPropagation());
  return box;
}

function sortedRows(view) {
  const rows = view.rows.slice();
  const { column, descending } = page.sort;
  if (column < 0) return rows;
  const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: "base" });
  rows.sort((a, b) => {
    // Scope items stay above the snap-in's own items, as in the console.
    if (a.scope !== b.scope) return a.scope ? -1 : 1;
    const order = collator.compare(a.texts[column] || "", b.texts[column] || "");
    return descending ? -order : order;
  });
  return rows;
}

function renderResult(view) {
  const body = $("result-body");
  $("description").textContent = view && view.description ? view.description : "";
  if (!page.state.ready || !view || !view.ready) {
    if (page.state.failure) return body.replaceChildren(el("div", { class: "empty", text: "The snap-in is not available." }));
    return body.replaceChildren(el("div", { class: "loading" }, el("div", { class: "spinner small" }), el("span", { text: "Loading the snap-in…" })));
  }
  const renaming = view.rename && view.rename.startsWith("result:") ? view.rename.slice(7) : "";
  if (view.result === "list") {
    if (renaming && page.renameShown === "result:" + renaming && body.querySelector(".rename-box")) return;
    const hadFocus = document.activeElement === body;
    const scrollTop = body.scrollTop;
    const columns = view.columns.length ? view.columns : [{ title: "Name", width: 240, format: 0 }];
    const align = (format) => (format === 1 ? "right" : format === 2 ? "center" : "");
    const table = el("table", { class: "list", role: "grid", "aria-multiselectable": String(view.multiSelect) });
    const colgroup = el("colgroup");
    columns.forEach((c) => colgroup.append(el("col", { style: { width: `${Math.max(40, c.width)}px` } })));
    table.append(colgroup);
    const head = el("tr");
    columns.forEach((c, index) => {
      const th = el("th", { class: align(c.format), scope: "col", title: "Sort by " + c.title }, c.title);
      if (page.sort.column === index) th.append(el("span", { class: "sort", text: page.sort.descending ? "▼" : "▲" }));
      th.addEventListener("click", () => {
        page.sort = { column: index, descending: page.sort.column === index ? !page.sort.descending : false };
        renderResult(page.state.view);
      });
      head.append(th);
    });
    table.append(el("thead", null, head));
    const tbody = el("tbody");
    const rows = sortedRows(view);
    for (const row of rows) {
      const tr = el("tr", { class: "row" + (row.selected ? " selected" : ""), role: "row", "aria-selected": String(row.selected), dataset: { id: row.id, scope: String(row.scope) } });
      columns.forEach((c, index) => {
        if (index === 0) {
          const cell = el("span", { class: "cell" });
          const stateIcon = stateIconName(view, row.stateImage);
          if (stateIcon) cell.append(el("img", { class: "state-icon", src: iconUrl(stateIcon), alt: "" }));
          cell.append(el("img", { class: "cell-icon", src: iconUrl(row.icon), alt: "" }));
          const key = (row.scope ? "scope:" : "result:") + row.id;
          if (view.rename === key) cell.append(renameBox(row.texts[0] || "", row.scope, row.id));
          else cell.append(el("span", { class: "label", text: row.texts[0] || "" }));
          tr.append(el("td", { class: "first" }, cell));
        } else {
          tr.append(el("td", { class: align(c.format), text: row.texts[index] || "" }));
        }
      });
      // The list itself selects, opens and asks for the menu: it gets the
      // press as the mouse message of its window, with the point in the row.
      tr.addEventListener("mousedown", (event) => {
        if (event.target.classList.contains("rename-box")) return;
        body.focus();
        if (event.button !== 0 && event.button !== 2) return;
        if (event.button === 2) {
          if (modalActive()) return;
          page.menuPoint = { x: event.clientX, y: event.clientY };
        }
        const message = event.button === 2 ? "rbuttondown" : event.detail === 2 ? "lbuttondblclk" : "lbuttondown";
        listInput(message, { row: row.index, x: pointInRow(view, tr, event) }, event);
      });
      tr.addEventListener("mouseup", (event) => {
        if (event.button === 0 && !event.target.classList.contains("rename-box")) listInput("lbuttonup", { row: row.index, x: pointInRow(view, tr, event) }, event);
      });
      tr.addEventListener("contextmenu", (event) => event.preventDefault());
      tbody.append(tr);
    }
    table.append(tbody);
    const content = [table];
    if (!rows.length) content.push(el("div", { class: "empty", text: "There are no items to show in this view." }));
    body.replaceChildren(...content);
    body.scrollTop = scrollTop;
    page.renameShown = renaming ? "result:" + renaming : "";
    const box = body.querySelector(".rename-box");
    if (box) {
      box.focus();
      box.select();
    } else if (hadFocus) {
      body.focus();
    }
    return;
  }
  if (view.result === "message") {
    const icon = view.message.icon;
    return body.replaceChildren(el("div", { class: "message-view", role: "note" },
      icon ? el("img", { src: iconUrl("dialog-" + icon, 48), alt: icon }) : null,
      el("div", null, el("h2", { text: view.message.title }), el("p", { text: view.message.body }))));
  }
  if (view.result === "resource") {
    const src = `/res/${view.id}/${encodeURIComponent(view.resourcePage)}`;
    const current = body.querySelector("iframe");
    if (current && current.getAttribute("src") === src) return;
    return body.replaceChildren(el("iframe", { class: "web-view", src, sandbox: "", title: view.resourcePage, referrerpolicy: "no-referrer" }));
  }
  if (view.result === "web") {
    // This machine has no route to the web: the address is offered for a
    // tab of its own instead of a frame that could never load.
    const address = view.webAddress;
    const safe = /^https?:\/\//i.test(address);
    return body.replaceChildren(el("div", { class: "web-address" },
      el("h2", { text: "Web page" }),
      el("div", { text: "This item shows a page from the web. It opens in a new browser tab." }),
      el("code", { text: address }),
      safe ? el("button", { type: "button", class: "ctl-button default", text: "Open in new tab", onclick: () => window.open(address, "_blank", "noopener") }) : null));
  }
  body.replaceChildren();
}

// The state image n of a row is image n - 1 of the list's state images;
// a list without them draws none.
function stateIconName(view, index) {
  if (!(index > 0) || !view.stateImages || !view.stateImages.length) return "";
  return view.stateImages[index - 1] || "";
}

// Where in its row the pointer is, in the list's own measure: the first
// column holds the state image (0..15, when the list has state images),
// then the 16-pixel icon, then the label; later columns follow at their widths.
function pointInRow(view, tr, event) {
  const stateWidth = view.stateImages && view.stateImages.length ? 16 : 0;
  const cells = [...tr.cells];
  const index = cells.findIndex((c) => c.contains(event.target));
  const clamp = (v, low, high) => Math.max(low, Math.min(high, Math.round(v)));
  if (index > 0) {
    const columns = view.columns.length ? view.columns : [{ width: 240 }];
    let left = 0;
    for (let c = 0; c < index && c < columns.length; c++) left += columns[c].width;
    return clamp(left + event.clientX - cells[index].getBoundingClientRect().left, 0, 32767);
  }
  const cell = tr.querySelector(".cell");
  const icon = cell && cell.querySelector(".cell-icon");
  const label = cell && cell.querySelector(".label, .rename-box");
  const x = event.clientX;
  if (icon && x < icon.getBoundingClientRect().left) {
    const state = cell.querySelector(".state-icon");
    return stateWidth ? clamp(x - (state ? state.getBoundingClientRect().left : cell.getBoundingClientRect().left), 0, 15) : 0;
  }
  if (icon && label && x < label.getBoundingClientRect().left) return stateWidth + clamp(x - icon.getBoundingClientRect().left, 0, 15);
  return stateWidth + 16 + clamp(label ? x - label.getBoundingClientRect().left : 0, 0, 32767);
}

function listInput(message, extra, event) {
  if (modalActive()) return;
  command("list-input", Object.assign({ name: message, ctrl: !!(event && (event.ctrlKey || event.metaKey)), shift: !!(event && event.shiftKey) }, extra));
}

function renderToolbar(view) {
  for (const button of document.querySelectorAll("#toolbar .tool")) {
    const verb = view && view.verbs ? view.verbs[button.dataset.verb] : null;
    button.disabled = !(verb && verb.visible && verb.enabled) || modalActive();
  }
}

function modalActive() {
  return !!(page.display && page.display.modal && page.display.modal.length);
}

// ---- Menus ---------------------------------------------------------------------

function openContextMenu(x, y, pane, item) {
  if (modalActive()) return;
  page.menuPoint = { x, y };
  command("context-menu", { pane, item });
}

function closeMenus() {
  $("menus").replaceChildren();
  page.hoverStatus = null;
  document.querySelectorAll(".menu-title.open").forEach((b) => b.classList.remove("open"));
}

function renderMenu(view) {
  const id = view ? view.menuId : "0";
  if (id === page.shownMenu) return;
  page.shownMenu = id;
  closeMenus();
  if (!view || id === "0" || !view.menu.length) return;
  const menu = buildMenu(view.menu, id, 0);
  placeMenu(menu, page.menuPoint.x, page.menuPoint.y);
  focusFirst(menu);
}

function buildMenu(items, menuId, depth) {
  const menu = el("div", { class: "menu", role: "menu", tabindex: "-1", dataset: { depth: String(depth) } });
  for (const item of items) {
    if (item.separator) {
      menu.append(el("div", { class: "menu-sep", role: "separator" }));
      continue;
    }
    const hasSub = !!(item.children && item.children.length);
    const entry = el("div", {
      class: "menu-item" + (item.enabled ? "" : " disabled") + (item.checked ? " checked" : "") + (item.default ? " default" : "") + (hasSub ? " has-sub" : ""),
      role: "menuitem",
      "aria-disabled": String(!item.enabled),
      "aria-haspopup": hasSub ? "true" : null,
      dataset: { command: item.command || "", text: plain(item.text) },
    }, withAccessKey(item.text));
    const activate = () => {
      if (!item.enabled) return;
      if (hasSub) return openSubmenu(entry, item, menuId, depth);
      closeMenus();
      // The same menu never opens twice: a newer snapshot may still name it.
      command("menu-command", { menu: menuId, command: item.command });
    };
    entry.addEventListener("mouseenter", () => {
      setActive(menu, entry);
      page.hoverStatus = item.status || "";
      $("status-text").textContent = page.hoverStatus;
      if (hasSub) openSubmenu(entry, item, menuId, depth);
      else closeSubmenus(depth);
    });
    entry.addEventListener("click", activate);
    entry._activate = activate;
    entry._hasSub = hasSub;
    menu.append(entry);
  }
  menu.addEventListener("keydown", (event) => menuKey(event, menu, depth));
  menu.addEventListener("contextmenu", (event) => event.preventDefault());
  return menu;
}

function setActive(menu, entry) {
  menu.querySelectorAll(":scope > .menu-item.active").forEach((e) => e.classList.remove("active"));
  if (entry) entry.classList.add("active");
}

function closeSubmenus(depth) {
  document.querySelectorAll("#menus .menu").forEach((m) => Number(m.dataset.depth) > depth && m.remove());
}

function openSubmenu(entry, item, menuId, depth) {
  closeSubmenus(depth);
  const sub = buildMenu(item.children, menuId, depth + 1);
  const box = entry.getBoundingClientRect();
  placeMenu(sub, box.right - 2, box.top - 4);
  return sub;
}

function placeMenu(menu, x, y) {
  $("menus").append(menu);
  const width = menu.offsetWidth, height = menu.offsetHeight;
  menu.style.left = `${Math.max(0, Math.min(x, window.innerWidth - width - 4))}px`;
  menu.style.top = `${Math.max(0, Math.min(y, window.innerHeight - height - 4))}px`;
}

function focusFirst(menu) {
  const first = menu.querySelector(".menu-item:not(.disabled)");
  setActive(menu, first);
  menu.focus();
}

function menuKey(event, menu, depth) {
  const entries = [...menu.querySelectorAll(":scope > .menu-item")];
  let index = entries.findIndex((e) => e.classList.contains("active"));
  const move = (step) => {
    for (let n = 0; n < entries.length; n++) {
      index = (index + step + entries.length) % entries.length;
      if (!entries[index].classList.contains("disabled")) break;
    }
    setActive(menu, entries[index]);
    page.hoverStatus = "";
  };
  event.stopPropagation();
  if (event.key === "ArrowDown") move(1);
  else if (event.key === "ArrowUp") move(-1);
  else if ((event.key === "Enter" || event.key === " ") && index >= 0) {
    const sub = entries[index]._activate();
    if (sub) focusFirst(sub);
  } else if (event.key === "ArrowRight" && index >= 0 && entries[index]._hasSub) {
    const sub = entries[index]._activate();
    if (sub) focusFirst(sub);
  } else if (event.key === "ArrowLeft" && depth > 0) {
    menu.remove();
    const parent = document.querySelector(`#menus .menu[data-depth="${depth - 1}"]`);
    if (parent) parent.focus();
  } else if (event.key === "Escape") {
    closeMenus();
    command("close-menu");
    restoreFocus();
  } else if (event.key.length === 1) {
    const hit = entries.find((e) => !e.classList.contains("disabled") && (e.querySelector(".access") || {}).textContent?.toLowerCase() === event.key.toLowerCase());
    if (hit) {
      setActive(menu, hit);
      const sub = hit._activate();
      if (sub) focusFirst(sub);
    }
  } else return;
  event.preventDefault();
}

function restoreFocus() {
  const view = page.state && page.state.view;
  (view && view.focus === "result" ? $("result-body") : $("scope")).focus();
}

// The Action menu is the context menu of the selection; View holds the
// console's own choices.
function actionMenu(button) {
  const view = page.state && page.state.view;
  if (!view) return;
  const box = button.getBoundingClientRect();
  if (view.focus === "result") {
    const row = view.rows.find((r) => r.selected);
    if (!row) return;
    openContextMenu(box.left, box.bottom, "result", row.id);
  } else {
    openContextMenu(box.left, box.bottom, "scope", view.selected);
  }
  button.classList.add("open");
}

function viewMenu(button) {
  closeMenus();
  const box = button.getBoundingClientRect();
  const items = [
    { text: "&Status Bar", checked: $("statusbar").style.display !== "none", action: () => { $("statusbar").style.display = $("statusbar").style.display === "none" ? "" : "none"; } },
    { text: "&Description Bar", checked: $("description").style.display !== "none", action: () => { $("description").style.display = $("description").style.display === "none" ? "" : "none"; } },
    { separator: true },
    { text: "&Refresh", action: () => verb("refresh"), enabled: !!(page.state.view && page.state.view.verbs.refresh && page.state.view.verbs.refresh.visible) },
  ];
  const menu = el("div", { class: "menu", role: "menu", tabindex: "-1", dataset: { depth: "0" } });
  for (const item of items) {
    if (item.separator) {
      menu.append(el("div", { class: "menu-sep" }));
      continue;
    }
    const enabled = item.enabled !== false;
    const entry = el("div", { class: "menu-item" + (item.checked ? " checked" : "") + (enabled ? "" : " disabled"), role: "menuitemcheckbox", dataset: { text: plain(item.text) } }, withAccessKey(item.text));
    entry._activate = () => {
      if (!enabled) return;
      closeMenus();
      item.action();
    };
    entry.addEventListener("click", entry._activate);
    entry.addEventListener("mouseenter", () => setActive(menu, entry));
    menu.append(entry);
  }
  menu.addEventListener("keydown", (event) => menuKey(event, menu, 0));
  placeMenu(menu, box.left, box.bottom);
  focusFirst(menu);
  button.classList.add("open");
}

function verb(name) {
  const view = page.state && page.state.view;
  if (!view || modalActive()) return;
  const v = view.verbs[name];
  if (!v || !v.visible || !v.enabled) return;
  command("verb", { pane: view.focus, name });
}

// ---- The snap-in's windows -----------------------------------------------------

function renderWindows(display) {
  const layer = $("windows");
  const windows = display ? display.windows : [];
  const modal = display ? display.modal : [];
  $("shade").hidden = !modal.length;
  const active = document.activeElement;
  const focusHandle = active && active.dataset ? active.dataset.handle : null;
  // A box being typed in keeps its caret when its window is drawn again.
  const caret = active && typeof active.selectionStart === "number" && active.closest && active.closest("#windows")
    ? [active.selectionStart, active.selectionEnd] : null;
  const keep = new Set();
  // Topmost first in the snapshot: drawn last.
  windows.slice().reverse().forEach((win, index) => {
    keep.add(win.handle);
    let frame = layer.querySelector(`.window[data-handle="${win.handle}"]`);
    const signature = JSON.stringify(win);
    if (!frame || frame._signature !== signature) {
      const fresh = buildWindow(win);
      if (frame) {
        fresh.style.left = frame.style.left;
        fresh.style.top = frame.style.top;
        frame.replaceWith(fresh);
      } else {
        layer.append(fresh);
        placeWindow(fresh, win, index);
      }
      frame = fresh;
      frame._signature = signature;
    }
    frame.style.zIndex = String(10 + index);
    frame.classList.toggle("inactive", display.active !== win.handle);
  });
  layer.querySelectorAll(".window").forEach((frame) => keep.has(frame.dataset.handle) || frame.remove());
  // The focus follows the window model's focus when it moved there.
  if (display && display.focus !== page.lastFocus) {
    page.lastFocus = display.focus;
    const target = layer.querySelector(`[data-handle="${display.focus}"]:not(.window)`);
    if (target && typeof target.focus === "function") target.focus();
  } else if (focusHandle) {
    const again = layer.querySelector(`[data-handle="${focusHandle}"]:not(.window)`);
    if (again && again !== document.activeElement) {
      again.focus();
      if (caret && typeof again.setSelectionRange === "function") {
        try { again.setSelectionRange(caret[0], caret[1]); } catch (error) { /* not a text box */ }
      }
    }
  }
  if (windows.length && !layer.contains(document.activeElement)) {
    const top = layer.querySelector(`.window[data-handle="${windows[0].handle}"]`);
    const first = top && top.querySelector("input, button, textarea, select, [tabindex]");
    if (first) first.focus();
  }
}

function placeWindow(frame, win, index) {
  const remembered = page.positions.get(win.handle);
  const width = win.rect[2], height = win.rect[3] + 31;
  const left = remembered ? remembered.left : Math.max(8, (window.innerWidth - width) / 2 + index * 24);
  const top = remembered ? remembered.top : Math.max(8, (window.innerHeight - height) / 2.4 + index * 24);
  frame.style.left = `${left}px`;
  frame.style.top = `${top}px`;
}

function buildWindow(win) {
  const frame = el("div", { class: "window", role: "dialog", "aria-modal": String(win.modal), "aria-label": win.text, dataset: { handle: win.handle, kind: win.kind, title: win.text } });
  frame.style.width = `${win.rect[2]}px`;
  frame.style.height = `${win.rect[3] + 31}px`;
  const title = el("div", { class: "window-title" }, el("span", { class: "caption", text: win.text }),
    el("button", { type: "button", class: "window-close", title: "Close", "aria-label": "Close", text: "✕", onclick: () => input("close", win.handle) }));
  dragBy(title, frame, win.handle);
  const client = el("div", { class: "window-client" });
  if (win.kind === "propertysheet" && win.tabs) {
    const tabs = el("div", { class: "tabs", role: "tablist" });
    win.tabs.forEach((text, index) => {
      tabs.append(el("button", { type: "button", class: "tab" + (index === win.activeTab ? " active" : ""), role: "tab", "aria-selected": String(index === win.activeTab), text: plain(text), onclick: () => input("selecttab", win.handle, { item: index }) }));
    });
    client.append(tabs);
  }
  if (win.icon && !hasKind(win, "icon")) {
    client.append(el("img", { class: "ctl ctl-icon", src: iconUrl("dialog-" + win.icon, 32), alt: win.icon, style: { left: "14px", top: "14px" } }));
  }
  for (const child of win.children) if (child.visible) client.append(buildControl(child, win));
  frame.append(title, client);
  frame.addEventListener("keydown", (event) => windowKey(event, win));
  return frame;
}

function hasKind(win, kind) {
  return win.children.some((c) => c.kind === kind || hasKind(c, kind));
}

function dragBy(handle, frame, windowHandle) {
  handle.addEventListener("mousedown", (event) => {
    if (event.button !== 0 || event.target.closest("button")) return;
    const startX = event.clientX, startY = event.clientY;
    const left = frame.offsetLeft, top = frame.offsetTop;
    const move = (e) => {
      const position = { left: Math.max(0, left + e.clientX - startX), top: Math.max(0, top + e.clientY - startY) };
      frame.style.left = `${position.left}px`;
      frame.style.top = `${position.top}px`;
      page.positions.set(windowHandle, position);
    };
    const up = () => {
      document.removeEventListener("mousemove", move);
      document.removeEventListener("mouseup", up);
    };
    document.addEventListener("mousemove", move);
    document.addEventListener("mouseup", up);
    event.preventDefault();
  });
}

function windowKey(event, win) {
  const target = event.target;
  const handle = target.dataset && target.dataset.handle ? target.dataset.handle : win.handle;
  if (event.key === "Escape") {
    event.preventDefault();
    input("key", handle, { key: VK.ESCAPE });
  } else if (event.key === "Enter" && !(target.tagName === "TEXTAREA") && !(target.tagName === "BUTTON")) {
    event.preventDefault();
    flushText(target);
    input("key", handle, { key: VK.RETURN });
  }
}

function flushText(target) {
  if (target && target._flush) target._flush();
}

function box(child) {
  const [left, top, width, height] = child.rect;
  return { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` };
}

function buildControl(child, win) {
  const common = { dataset: { handle: child.handle, kind: child.kind, ctlId: String(child.id) } };
  const disabled = !child.enabled;
  let node;
  switch (child.kind) {
    case "static": {
      const align = (child.style & 3) === 1 ? " center" : (child.style & 3) === 2 ? " right" : "";
      node = el("div", Object.assign({ class: "ctl ctl-static" + align }, common), (child.style & 0x80) ? child.text : withAccessKey(child.text));
      break;
    }
    case "icon":
      node = el("img", Object.assign({ class: "ctl ctl-icon", src: iconUrl(child.icon && ["error", "question", "warning", "information"].includes(child.icon) ? "dialog-" + child.icon : child.icon, 32), alt: child.icon || "" }, common));
      break;
    case "groupbox":
      node = el("div", Object.assign({ class: "ctl ctl-group", role: "group" }, common), el("span", { text: plain(child.text) }));
      break;
    case "pushbutton":
      node = el("button", Object.assign({ type: "button", class: "ctl ctl-button" + (child.defaultButton ? " default" : ""), disabled, onclick: () => input("click", child.handle) }, common), withAccessKey(child.text));
      break;
    case "checkbox":
    case "radiobutton": {
      const field = el("input", { type: child.kind === "checkbox" ? "checkbox" : "radio", disabled, dataset: { handle: child.handle } });
      field.checked = child.check === 1;
      field.indeterminate = child.check === 2;
      field.addEventListener("click", (event) => {
        event.preventDefault();
        input("click", child.handle);
      });
      node = el("label", Object.assign({ class: "ctl ctl-check" + (disabled ? " disabled" : "") }, common), field, withAccessKey(child.text));
      break;
    }
    case "edit":
      node = buildEdit(child, common, disabled);
      break;
    case "updown":
      node = el("div", Object.assign({ class: "ctl ctl-updown" }, common),
        el("button", { type: "button", tabindex: "-1", disabled, text: "▲", "aria-label": "Up", onclick: () => input("spin", child.handle, { value: 1 }) }),
        el("button", { type: "button", tabindex: "-1", disabled, text: "▼", "aria-label": "Down", onclick: () => input("spin", child.handle, { value: -1 }) }));
      break;
    case "datetimepicker": {
      const [y, mo, d, h, mi, s] = child.time || [2000, 1, 1, 0, 0, 0];
      const pad = (n) => String(n).padStart(2, "0");
      const field = el("input", Object.assign({ class: "ctl ctl-edit", type: child.timeFormat ? "time" : "date", step: child.timeFormat ? "1" : null, disabled }, common));
      field.value = child.timeFormat ? `${pad(h)}:${pad(mi)}:${pad(s)}` : `${y}-${pad(mo)}-${pad(d)}`;
      field.addEventListener("change", () => {
        const t = [y, mo, d, h, mi, s];
        if (child.timeFormat) {
          const [hh, mm, ss] = field.value.split(":").map(Number);
          t[3] = hh || 0; t[4] = mm || 0; t[5] = ss || 0;
        } else {
          const [yy, mm, dd] = field.value.split("-").map(Number);
          t[0] = yy; t[1] = mm; t[2] = dd;
        }
        input("settime", child.handle, { time: t });
      });
      node = field;
      break;
    }
    case "animation":
      node = el("div", Object.assign({ class: "ctl ctl-anim", role: "img", "aria-label": "Working" }, common), child.playing ? el("div", { class: "spinner" }) : null);
      break;
    case "listview":
      node = buildListControl(child, common);
      break;
    case "propertypage":
    case "dialog":
      node = el("div", Object.assign({ class: "ctl" + (child.kind === "propertypage" ? " ctl-page" : ""), role: "tabpanel" }, common));
      for (const grandchild of child.children) if (grandchild.visible) node.append(buildControl(grandchild, win));
      break;
    default:
      node = el("div", Object.assign({ class: "ctl" }, common));
  }
  Object.assign(node.style, box(child));
  return node;
}

function buildEdit(child, common, disabled) {
  const multiline = child.multiline;
  const field = el(multiline ? "textarea" : "input", Object.assign({
    class: "ctl ctl-edit",
    type: multiline ? null : child.password ? "password" : "text",
    maxlength: child.textLimit > 0 ? String(child.textLimit) : null,
    readonly: child.readOnly,
    disabled,
    inputmode: child.numeric ? "numeric" : null,
    spellcheck: "false",
    autocomplete: "off",
    "aria-label": child.text,
  }, common));
  const pending = page.pendingText.get(child.handle);
  // What the user typed stays until the window model has seen it.
  field.value = pending !== undefined && pending !== child.text ? pending : child.text;
  if (pending !== undefined && pending === child.text) page.pendingText.delete(child.handle);
  let timer = 0;
  const flush = () => {
    clearTimeout(timer);
    timer = 0;
    if (page.pendingText.get(child.handle) === field.value && field._sent === field.value) return;
    field._sent = field.value;
    page.pendingText.set(child.handle, field.value);
    input("settext", child.handle, { text: field.value });
  };
  field._flush = flush;
  field.addEventListener("input", () => {
    page.pendingText.set(child.handle, field.value);
    clearTimeout(timer);
    timer = setTimeout(flush, 60);
  });
  field.addEventListener("blur", flush);
  field.addEventListener("focus", () => input("focus", child.handle));
  return field;
}

function buildListControl(child, common) {
  const list = child.list || { columns: [], items: [] };
  const wrap = el("div", Object.assign({ class: "ctl ctl-list", tabindex: "0", role: "grid" }, common));
  const table = el("table", { class: "list" });
  if (list.report && list.columns.length) {
    const head = el("tr");
    list.columns.forEach((c, index) => head.append(el("th", { text: c.text, style: { width: `${c.width}px` }, onclick: () => input("clickcolumn", child.handle, { item: index }) })));
    table.append(el("thead", null, head));
  }
  const tbody = el("tbody");
  list.items.forEach((item, index) => {
    const tr = el("tr", { class: "row" + (item.selected ? " selected" : ""), "aria-selected": String(item.selected), dataset: { index: String(index) } });
    const first = el("span", { class: "cell" });
    if (item.stateIcon) first.append(el("img", { class: "state-icon", src: iconUrl(item.stateIcon), alt: "" }));
    if (item.icon) first.append(el("img", { class: "cell-icon", src: iconUrl(item.icon), alt: "" }));
    first.append(el("span", { text: item.texts[0] || "" }));
    tr.append(el("td", { class: "first" }, first));
    for (let c = 1; c < Math.max(1, list.columns.length); c++) tr.append(el("td", { text: item.texts[c] || "" }));
    tr.addEventListener("mousedown", (event) => {
      const x = event.clientX - tr.getBoundingClientRect().left;
      input(event.button === 2 ? "rightclickitem" : "clickitem", child.handle, { item: index, x: Math.round(x), ctrl: event.ctrlKey, shift: event.shiftKey });
    });
    tr.addEventListener("dblclick", (event) => {
      const x = event.clientX - tr.getBoundingClientRect().left;
      input("doubleclickitem", child.handle, { item: index, x: Math.round(x) });
    });
    tbody.append(tr);
  });
  table.append(tbody);
  wrap.append(table);
  wrap.addEventListener("keydown", (event) => {
    const keys = { ArrowUp: VK.UP, ArrowDown: VK.DOWN, Delete: VK.DELETE, Insert: 45, " ": VK.SPACE };
    if (keys[event.key]) {
      event.preventDefault();
      input("key", child.handle, { key: keys[event.key], ctrl: event.ctrlKey, shift: event.shiftKey });
    }
  });
  return wrap;
}

// ---- Keyboard and layout -------------------------------------------------------

function treeKey(event) {
  const view = page.state && page.state.view;
  if (!view || modalActive()) return;
  const nodes = view.tree;
  const index = nodes.findIndex((n) => n.id === view.selected);
  const node = nodes[index];
  const handled = () => event.preventDefault();
  switch (event.key) {
    case "ArrowDown":
      if (index + 1 < nodes.length) command("select-scope", { item: nodes[index + 1].id });
      return handled();
    case "ArrowUp":
      if (index > 0) command("select-scope", { item: nodes[index - 1].id });
      return handled();
    case "ArrowRight":
      if (node && node.hasChildren && !node.expanded) command("expand", { item: node.id, expand: true });
      else if (node && node.expanded && index + 1 < nodes.length) command("select-scope", { item: nodes[index + 1].id });
      return handled();
    case "ArrowLeft":
      if (node && node.expanded) command("expand", { item: node.id, expand: false });
      else if (node && node.depth > 0) {
        for (let i = index - 1; i >= 0; i--) if (nodes[i].depth < node.depth) { command("select-scope", { item: nodes[i].id }); break; }
      }
      return handled();
    case "Enter":
      if (event.altKey) verb("properties");
      else if (node && node.hasChildren) command("expand", { item: node.id, expand: !node.expanded });
      return handled();
    case "ContextMenu": {
      const row = $("scope").querySelector(".node.selected");
      const box = row ? row.getBoundingClientRect() : { left: 40, bottom: 80 };
      openContextMenu(box.left + 24, box.bottom, "scope", view.selected);
      return handled();
    }
  }
  commonKeys(event);
}

function resultKey(event) {
  const view = page.state && page.state.view;
  if (!view || modalActive() || view.result !== "list") return;
  const handled = () => event.preventDefault();
  const keys = { ArrowDown: 40, ArrowUp: 38, Home: 36, End: 35, PageUp: 33, PageDown: 34, " ": 32, Enter: 13 };
  if (event.key === "Enter" && event.altKey) {
    verb("properties");
    return handled();
  }
  if (keys[event.key] || (/^[a-z0-9]$/i.test(event.key) && !event.altKey)) {
    // The list gets the key as its window's key message; a letter also as
    // the character it types.
    const vk = keys[event.key] || event.key.toUpperCase().charCodeAt(0);
    listInput("keydown", { key: vk }, event);
    if (!keys[event.key] && !event.ctrlKey && !event.metaKey) listInput("char", { key: event.key.charCodeAt(0) & 255 }, event);
    return handled();
  }
  switch (event.key) {
    case "ContextMenu": {
      const row = $("result-body").querySelector("tr.row.selected");
      if (!row) return handled();
      const box = row.getBoundingClientRect();
      openContextMenu(box.left + 40, box.bottom, "result", row.dataset.id);
      return handled();
    }
  }
  commonKeys(event);
}

function commonKeys(event) {
  if (event.key === "F2") { verb("rename"); event.preventDefault(); }
  else if (event.key === "Delete") { verb("delete"); event.preventDefault(); }
  else if (event.key === "F5") { verb("refresh"); event.preventDefault(); }
  else if (event.key === "F10" && event.shiftKey) {
    event.preventDefault();
    event.target.dispatchEvent(new KeyboardEvent("keydown", { key: "ContextMenu", bubbles: true }));
  }
}

function splitter() {
  const bar = $("splitter"), scope = $("scope");
  bar.addEventListener("mousedown", (event) => {
    const startX = event.clientX, width = scope.offsetWidth;
    const move = (e) => { scope.style.width = `${Math.max(140, Math.min(window.innerWidth * 0.6, width + e.clientX - startX))}px`; };
    const up = () => { document.removeEventListener("mousemove", move); document.removeEventListener("mouseup", up); };
    document.addEventListener("mousemove", move);
    document.addEventListener("mouseup", up);
    event.preventDefault();
  });
}

function start() {
  splitter();
  $("scope").addEventListener("keydown", treeKey);
  $("result-body").addEventListener("keydown", resultKey);
  $("result-body").addEventListener("mousedown", (event) => {
    if (event.target === $("result-body") || event.target.classList.contains("empty")) {
      $("result-body").focus();
      const view = page.state && page.state.view;
      if (view && view.result === "list") listInput(event.button === 2 ? "rbuttondown" : "lbuttondown", { row: -1, x: 0 }, event);
    }
  });
  $("result-body").addEventListener("contextmenu", (event) => {
    if (!event.target.closest("tr.row")) event.preventDefault();
  });
  for (const button of document.querySelectorAll("#toolbar .tool")) button.addEventListener("click", () => verb(button.dataset.verb));
  $("menu-action").addEventListener("click", (event) => actionMenu(event.currentTarget));
  $("menu-view").addEventListener("click", (event) => viewMenu(event.currentTarget));
  document.addEventListener("mousedown", (event) => {
    if (!event.target.closest(".menu") && !event.target.closest(".menu-title") && $("menus").children.length) {
      closeMenus();
      command("close-menu");
    }
  });
  document.addEventListener("keydown", (event) => {
    if (event.altKey && (event.key === "a" || event.key === "A")) { event.preventDefault(); actionMenu($("menu-action")); }
    else if (event.altKey && (event.key === "v" || event.key === "V")) { event.preventDefault(); viewMenu($("menu-view")); }
  });
  window.addEventListener("pagehide", () => {
    if (page.view) fetch("/api/view/close", { method: "POST", keepalive: true, headers: { "Content-Type": "application/json" }, body: JSON.stringify({ view: page.view }) });
  });
  openView().then(pollLoop);
}

document.addEventListener("DOMContentLoaded", start);
