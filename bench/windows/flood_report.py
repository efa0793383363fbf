#!/usr/bin/env python3
"""The tables of scripts/floods-windows.sh, from the files each run left.

A flood run's folder holds flood_host's figures and log (its clock, in µs),
the peer's listener output (arrival in seconds since it began listening) and
memory samples. The two clocks are tied by the announcement, which leaves
inside Enable: its arrival on the wire is taken as the end of Enable.
"""
import argparse
import re
from pathlib import Path

PLUGIN = "10.78.0.1"
LATE_MS = 100  # a set later than this on the wire missed its flush
AFTER_SET_S = 0.1  # a set's flush leaves within this


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(p * (len(values) - 1) + 0.5))]


def figures(folder):
    """flood_host's printed figures: the first word of a line names it."""
    result = {}
    for line in (folder / "figures").read_text().splitlines():
        words = line.split()
        if words:
            result[words[0]] = words[1:]
    return result


def named(words, name, cast=float):
    return cast(words[words.index(name) + 1])


def datagrams(path):
    """The plug-in's datagrams seen by the listener: (title, arrival, fields)."""
    found, title, fields = [], None, {}
    for line in path.read_text(errors="replace").splitlines() + [""]:
        if line and not line.startswith(" "):
            if title is not None:
                found.append((title, float(fields.get("Arrived", "nan")), fields))
            title, fields = line, {}
        elif line.startswith("  ") and ": " in line:
            key, _, value = line[2:].partition(": ")
            fields[key] = value
    if title is not None and title:
        found.append((title, float(fields.get("Arrived", "nan")), fields))
    return [d for d in found if f" from {PLUGIN} " in d[0]]


def memory(folder):
    samples = {"start": None, "end": None, "during": []}
    drops = None
    for line in (folder / "rss").read_text().splitlines():
        words = line.split()
        if words[0] == "drops":
            drops = words[1] if len(words) > 1 else "?"
        elif words[0] == "during":
            samples["during"].append((int(words[1]), int(words[2])))
        else:
            samples[words[0]] = (int(words[1]), int(words[2]))
    peak = [max([s[i] for s in samples["during"]] + [samples["start"][i], samples["end"][i]]) for i in (0, 1)]
    return samples["start"], peak, samples["end"], drops


def sender_rate(folder):
    match = re.search(r"\(([\d.]+) per second", (folder / "flood.out").read_text())
    return float(match.group(1)) if match else float("nan")


def match_sets(sets, dmx):
    """Each set (time, channel, value, "first" or "second") against the
    ArtDmx (arrival, data) on the same clock: its channel is set once, so the
    first frame carrying the value is the one that sent it. Returns the
    latencies in ms by kind, how many were late, and how many never came."""
    latencies, late, lost = {"first": [], "second": []}, 0, 0
    for at, channel, value, which in sets:
        sent = next((t for t, data in dmx if len(data) >= channel and data[channel - 1] == value), None)
        if sent is None:
            lost += 1
            continue
        latency = max(0.0, (sent - at) * 1000)
        latencies[which].append(latency)
        late += latency > LATE_MS
    return latencies, late, lost


def find_refreshes(dmx, set_times, go, stop):
    """The refresh resends the unchanged buffer every 4 s whatever the host
    does. A repeated ArtDmx soon after a set may instead be a flush that
    found the set already sent, so only repeats clear of sets count."""
    return [t for (t, data), (_, before) in zip(dmx[1:], dmx)
            if data == before and go < t <= stop and not any(0 <= t - s <= AFTER_SET_S for s in set_times)]


def round_ratios(values, numerator, denominator):
    """Per round, in round order: values[(round, numerator)] over
    values[(round, denominator)], for the rounds that have both."""
    rounds = sorted({r for r, _ in values}, key=int)
    return [values[(r, numerator)] / values[(r, denominator)] for r in rounds
            if (r, numerator) in values and (r, denominator) in values]


def flood_row(folder):
    kind = (folder / "kind").read_text().strip()
    mode = (folder / "mode").read_text().strip()
    f = figures(folder)
    calls = f["host_calls"]
    timer = f["host_timer_ticks"]
    log = {"set": []}
    for line in (folder / "host.log").read_text().splitlines():
        words = line.split()
        if words[0] == "set":
            log["set"].append((int(words[1]), int(words[2]), int(words[3]), words[4]))
        else:
            log[words[0]] = [int(w) for w in words[1:]]
    start, peak, end, drops = memory(folder)
    row = {
        "flood": f"{kind} ({sender_rate(folder):,.0f}/s)" + (" bare loop" if mode == "bare" else ""),
        "wait": f"{named(calls, 'p50_ms'):.2f} / {named(calls, 'p99_ms'):.2f} / {named(calls, 'max_ms'):.2f} ms"
        f" ({int(calls[0]):,})",
        "timer": f"{int(timer[0])} of {float(timer[2]):.0f}, max gap {named(timer, 'max_gap_ms'):.0f} ms",
        "server": f"{start[0]:,} → {peak[0]:,} → {end[0]:,}",
        "process": f"{start[1]:,} → {peak[1]:,} → {end[1]:,}",
        "drops": drops,
        "helper": f"{int(f['helper_calls'][0]):,}",
        "first": "", "second": "", "lost": "", "refresh": "",
    }
    if mode == "bare":
        return row

    wire = datagrams(folder / "wire.out")
    announced = next((t for title, t, _ in wire if title.startswith("ArtPollReply")), None)
    dmx = [(t, [int(v) for v in fields.get("Data", "").split()]) for title, t, fields in wire
           if title.startswith("ArtDmx")]
    if announced is None:
        row["first"] = "no announcement seen"
        return row
    offset = announced - log["enable"][1] / 1e6  # wire time = host µs / 1e6 + offset
    sets = [(at_us / 1e6 + offset, channel, value, which) for at_us, channel, value, which in log["set"]]
    latencies, late, lost = match_sets(sets, dmx)
    for which, values in latencies.items():
        row[which] = (f"{percentile(values, 0.5):.1f} / {percentile(values, 0.99):.1f} / "
                      f"{percentile(values, 1.0):.1f} ms" if values else "none arrived")
    row["lost"] = f"{late} / {lost} of {len(sets)}"
    go, stop = log["go"][0] / 1e6 + offset, log["stop"][0] / 1e6 + offset
    refreshes = find_refreshes(dmx, [at for at, _, _, _ in sets], go, stop)
    gaps = [b - a for a, b in zip(refreshes, refreshes[1:])]
    row["refresh"] = f"{len(refreshes)} in {stop - go:.1f} s" + (
        f", {min(gaps):.2f}-{max(gaps):.2f} s apart" if gaps else "")
    return row


def capacity_rows(folders):
    """Rounds alternate bare and DLL; each round's ratios compare runs made
    seconds apart, so a load that drifts over the run cancels out. The CPU
    time per datagram (host process and wineserver together) says what the
    receive path costs, whatever else the cores were doing."""
    rows, rates, costs = [], {}, {}
    for folder in folders:
        words = (folder / "capacity").read_text().split()
        mode, count, before, after, started, emptied = words[:6]
        host0, server0, host1, server1, hz = (int(w) for w in words[6:11])
        delivered = int(count) - (int(after) - int(before))
        rate = delivered / (float(emptied) - float(started))
        cost_us = ((host1 - host0) + (server1 - server0)) / hz * 1e6 / max(delivered, 1)
        round_number = folder.name.split("-")[1]
        rates[(round_number, mode)], costs[(round_number, mode)] = rate, cost_us
        own = figures(folder)["datagrams"]
        rows.append(f"| {folder.name} | {sender_rate(folder):,.0f}/s | {delivered:,} of {int(count):,} | "
                    f"{rate:,.0f}/s | {cost_us:.0f} µs ({(host1 - host0) / hz:.2f} + {(server1 - server0) / hz:.2f} s) | "
                    + (f"{int(own[0]):,}" if mode == "bare" else "") + " |")
    by_rate = round_ratios(rates, "dll", "bare")
    by_cost = round_ratios(costs, "bare", "dll")
    summary = ""
    if by_rate:
        summary = (f"\nDLL against the bare loop, round by round: datagrams a second "
                   f"{', '.join(f'{x:.2f}' for x in by_rate)}x (median **{percentile(by_rate, 0.5):.2f}x**); "
                   f"CPU time per datagram, bare over DLL, {', '.join(f'{x:.2f}' for x in by_cost)}x "
                   f"(median **{percentile(by_cost, 0.5):.2f}x**)")
    return rows, summary


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate")
    parser.add_argument("--floods", nargs="*", default=[])
    parser.add_argument("--capacity", nargs="*", default=[])
    args = parser.parse_args()
    if args.floods:
        rows = [flood_row(Path(f)) for f in args.floods]
        print("| flood (sender's rate) | host call wait p50 / p99 / max (calls) | host timer ticks |"
              " set → wire, alone p50 / p99 / max | set → wire, by the flush p50 / p99 / max |"
              " values later than 100 ms / never on the wire | refreshes during the flood |")
        print("|---|---|---|---|---|---|---|")
        for r in rows:
            print(f"| {r['flood']} | {r['wait']} | {r['timer']} | {r['first']} | {r['second']} | {r['lost']} |"
                  f" {r['refresh']} |")
        print()
        print("| flood | wineserver VmRSS kB start → peak → end | host process VmRSS kB start → peak → end |"
              " kernel drops at the socket | LMST_DMXIn_SetChannel calls |")
        print("|---|---|---|---|---|")
        for r in rows:
            print(f"| {r['flood']} | {r['server']} | {r['process']} | {r['drops']} | {r['helper']} |")
        print()
    if args.capacity:
        rows, summary = capacity_rows([Path(f) for f in args.capacity])
        print("| receive capacity run | sender | delivered | delivered a second |"
              " CPU per datagram (host + wineserver) | bare loop's own count |")
        print("|---|---|---|---|---|---|")
        print("\n".join(rows))
        print(summary)


if __name__ == "__main__":
    main()
