// The operator's dashboard: reads /api/stats for the chosen product, channel
// and days and draws the funnel, the installs per day, the top failure
// reasons and the download percentiles. Every number is also written as
// text into the tables beside the charts. Labels from events are only ever
// set as text, never as markup.
"use strict";

(function () {
  const STEP_NAMES = {
    startup: "Start-ups",
    download_start: "Downloads started",
    download_done: "Downloads finished",
    install: "Installs",
  };
  const FAILURE_NAMES = {
    download_failed: "download failed",
    unpack_failed: "unpack failed",
    launch_failed: "launch failed",
    error_shown: "error shown",
  };
  const INSTALL_NAMES = {
    unpack_done: "zip packages unpacked",
    installer_launch: "installers started",
  };
  const TOP_FAILURES = 15;
  const DEFAULT_DAYS = 30;

  const page = new URLSearchParams(window.location.search);
  // The operator token travels to /api/stats in a header, not in its address.
  const token = page.get("token");
  const charts = {};
  let choices = [];

  const $ = (id) => document.getElementById(id);

  function isoDay(date) {
    return date.toISOString().slice(0, 10);
  }

  function defaultRange() {
    const to = new Date();
    const from = new Date(to.getTime() - (DEFAULT_DAYS - 1) * 86400000);
    return [isoDay(from), isoDay(to)];
  }

  function setStatus(text, isError) {
    const status = $("status");
    status.textContent = text;
    status.classList.toggle("error", Boolean(isError));
  }

  function cell(row, text, attrs) {
    const td = document.createElement("td");
    td.textContent = text;
    for (const [name, value] of Object.entries(attrs || {})) td.setAttribute(name, value);
    row.appendChild(td);
    return td;
  }

  function fillBody(table, rows, columns) {
    const body = table.tBodies[0];
    body.replaceChildren();
    if (rows.length === 0) {
      const tr = document.createElement("tr");
      const td = cell(tr, "no events");
      td.colSpan = columns;
      td.className = "empty";
      body.appendChild(tr);
    }
    for (const row of rows) body.appendChild(row);
  }

  function percent(share) {
    return share === null || share === undefined ? "–" : (share * 100).toFixed(1) + " %";
  }

  function speed(bytesPerSecond) {
    if (bytesPerSecond === null) return "–";
    if (bytesPerSecond >= 1e6) return (bytesPerSecond / 1e6).toFixed(2) + " MB/s";
    return (bytesPerSecond / 1e3).toFixed(1) + " kB/s";
  }

  function seconds(value) {
    return value === null ? "–" : value.toFixed(2) + " s";
  }

  function option(select, value, text) {
    const o = document.createElement("option");
    o.value = value;
    o.textContent = text;
    select.appendChild(o);
  }

  function fillChoices(product, channel) {
    const products = $("product");
    products.replaceChildren();
    option(products, "", "all");
    for (const c of choices) option(products, c.product, c.product || "(none)");
    if (product && !choices.some((c) => c.product === product)) option(products, product, product);
    products.value = product || "";
    fillChannels(channel);
  }

  function fillChannels(channel) {
    const channels = $("channel");
    channels.replaceChildren();
    option(channels, "", "all");
    const chosen = choices.find((c) => c.product === $("product").value);
    const names = chosen ? chosen.channels
      : [...new Set(choices.flatMap((c) => c.channels))].sort();
    for (const name of names) option(channels, name, name || "(none)");
    if (channel && !names.includes(channel)) option(channels, channel, channel);
    channels.value = channel || "";
  }

  function drawChart(id, config) {
    if (charts[id]) charts[id].destroy();
    charts[id] = null;
    if (!window.Chart) return;
    config.options = Object.assign({ animation: false, responsive: true,
                                     maintainAspectRatio: false }, config.options);
    charts[id] = new window.Chart($(id), config);
  }

  function renderFunnel(stats) {
    const funnel = stats.combined.funnel;
    fillBody($("funnel-table"), funnel.map((step) => {
      const tr = document.createElement("tr");
      tr.dataset.step = step.name;
      tr.dataset.count = String(step.count);
      cell(tr, STEP_NAMES[step.name] || step.name);
      cell(tr, String(step.count), { "data-field": "count" });
      cell(tr, percent(step.share), { "data-field": "share" });
      cell(tr, percent(step.of_first), { "data-field": "of_first" });
      return tr;
    }), 4);
    const ends = new Set(stats.groups.map((g) => g.install_event));
    $("install-note").textContent = ends.size === 0 ? ""
      : "Installs: " + [...ends].map((e) => INSTALL_NAMES[e] || e).join(" and ") + ".";
    drawChart("funnel-chart", {
      type: "bar",
      data: {
        labels: funnel.map((s) => STEP_NAMES[s.name] || s.name),
        datasets: [{ label: "events", data: funnel.map((s) => s.count),
                     backgroundColor: ["#2f6fb3", "#3f8fd2", "#5aa9e6", "#2e9e6b"] }],
      },
      options: { plugins: { legend: { display: false } },
                 scales: { y: { beginAtZero: true, ticks: { precision: 0 } } } },
    });
  }

  function renderDays(stats) {
    const days = stats.combined.days;
    fillBody($("days-table"), days.map((d) => {
      const tr = document.createElement("tr");
      tr.dataset.day = d.day;
      cell(tr, d.day);
      for (const count of d.counts) cell(tr, String(count));
      return tr;
    }), 5);
    drawChart("days-chart", {
      type: "line",
      data: {
        labels: days.map((d) => d.day.slice(5)),
        datasets: [
          { label: "installs", data: days.map((d) => d.counts[3]), borderColor: "#2e9e6b",
            backgroundColor: "#2e9e6b", tension: 0.2 },
          { label: "start-ups", data: days.map((d) => d.counts[0]), borderColor: "#9aa8b6",
            backgroundColor: "#9aa8b6", borderDash: [4, 4], tension: 0.2 },
        ],
      },
      options: { scales: { y: { beginAtZero: true, ticks: { precision: 0 } } },
                 plugins: { legend: { position: "bottom", labels: { usePointStyle: true } } } },
    });
  }

  function failureReason(name, entry) {
    const known = (value) => value !== null && value !== undefined;
    if (name === "download_failed") {
      const parts = [];
      if (entry.status) parts.push("HTTP " + entry.status);
      if (entry.error) parts.push("WinHTTP error " + entry.error);
      if (parts.length === 0) {
        parts.push(known(entry.status) || known(entry.error) ? "no status or error"
                                                             : "(not given)");
      }
      return parts.join(", ");
    }
    const value = entry.status !== undefined ? entry.status
      : entry.reason !== undefined ? entry.reason : entry.key;
    return known(value) ? value : "(not given)";
  }

  function renderFailures(stats) {
    const rows = [];
    for (const [name, entries] of Object.entries(stats.failures)) {
      for (const entry of entries) {
        rows.push({ name, reason: failureReason(name, entry), count: entry.count });
      }
    }
    rows.sort((a, b) => b.count - a.count);
    fillBody($("failures-table"), rows.slice(0, TOP_FAILURES).map((r) => {
      const tr = document.createElement("tr");
      tr.dataset.event = r.name;
      cell(tr, FAILURE_NAMES[r.name] || r.name);
      cell(tr, r.reason);
      cell(tr, String(r.count), { "data-field": "count" });
      return tr;
    }), 3);
  }

  function renderDownloads(stats) {
    const d = stats.downloads;
    const rows = [
      ["time", "seconds", seconds],
      ["speed", "bytes_per_second", speed],
    ].map(([label, key, format]) => {
      const tr = document.createElement("tr");
      tr.dataset.figure = key;
      cell(tr, label);
      cell(tr, format(d[key].median), { "data-value": String(d[key].median) });
      cell(tr, format(d[key].p90), { "data-value": String(d[key].p90) });
      return tr;
    });
    fillBody($("downloads-table"), rows, 3);
    $("downloads-count").textContent =
      d.count === 1 ? "from 1 finished download" : `from ${d.count} finished downloads`;
  }

  function query(form) {
    const q = new URLSearchParams();
    for (const name of ["product", "channel", "from", "to"]) {
      if (form[name]) q.set(name, form[name]);
    }
    return q;
  }

  async function load(form) {
    setStatus("Loading…");
    const headers = token ? { Authorization: "Bearer " + token } : {};
    let stats;
    try {
      const response = await fetch("/api/stats?" + query(form), { headers, cache: "no-store" });
      const text = await response.text();
      if (!response.ok) {
        let message = text;
        try { message = JSON.parse(text).error || text; } catch (e) { /* plain text */ }
        throw new Error(`${response.status}: ${message}`);
      }
      stats = JSON.parse(text);
    } catch (error) {
      setStatus("Could not read the statistics (" + error.message + ")", true);
      document.body.dataset.state = "error";
      return;
    }
    choices = stats.choices;
    fillChoices(form.product, form.channel);
    renderFunnel(stats);
    renderDays(stats);
    renderFailures(stats);
    renderDownloads(stats);
    const scope = [form.product || "all products", form.channel ? "channel " + form.channel
                                                                : "all channels"];
    setStatus(`${scope.join(", ")}, ${form.from || "start"} to ${form.to || "today"}` +
              (window.Chart ? "" : " (charts need the chart library; tables only)"));
    document.body.dataset.state = "ready";
  }

  function currentForm() {
    return { product: $("product").value, channel: $("channel").value,
             from: $("from").value, to: $("to").value };
  }

  function start() {
    let from = page.get("from") || "";
    let to = page.get("to") || "";
    if (!page.has("from") && !page.has("to")) [from, to] = defaultRange();
    $("from").value = from;
    $("to").value = to;
    const form = { product: page.get("product") || "", channel: page.get("channel") || "",
                   from, to };
    fillChoices(form.product, form.channel);
    $("product").addEventListener("change", () => fillChannels(""));
    $("filters").addEventListener("submit", (event) => {
      event.preventDefault();
      const chosen = currentForm();
      const address = query(chosen);
      if (token) address.set("token", token);
      window.history.replaceState(null, "", "/dashboard?" + address);
      load(chosen);
    });
    load(form);
  }

  document.addEventListener("DOMContentLoaded", start);
})();
