#!/usr/bin/python3
"""Reads the results of tarvex as a script would, and prints them in one plain form.

Usage: read_results.py SCHEMA json|csv FILE

JSON is validated against the schema kept in the repository (python3-jsonschema) and CSV is read
with the csv module. Either way the output is one tab-separated line per ping reply, trace hop
address, WHOIS line or located address, with the same fields in the same order, so that a test
can compare both forms of one run with each other and with what it expects:

  ping    target address family seq status status_text time ttl from
  trace   target address family hop from name sent received loss_percent time
  whois   target server line_no line
  locate  target address country_code city latitude longitude error

"time" is "ms" where a trip time is given (a number, at least 0), "-" where it is not; absent
values are "-". Ping statistics follow a run's replies as
  stats   target sent received lost loss_percent
from JSON only (CSV has no statistics row). A run that ended with an error is followed by
  error   target error
in both forms (CSV: after the last row of its run, by the run column). Exits 1 with the reason on stderr when the file is
not what the schema or the table header says.
"""

import csv
import json
import sys

import jsonschema

PING_CSV = ("kind,target,address,family,started,seq,status,status_text,time_ms,ttl,bytes,from,"
            "hop,name,sent,received,loss_percent,avg_ms,best_ms,worst_ms,jitter_ms,run,error"
            ).split(",")
WHOIS_CSV = ["kind", "target", "server", "line_no", "line"]
LOCATE_CSV = ["kind", "target", "address", "country_code", "country_name", "region_code",
              "region_name", "city", "zip_code", "latitude", "longitude", "error"]


def text(value):
    if value is None or value == "":
        return "-"
    return str(value)


def time_of(value):
    if value is None or value == "":
        return "-"
    if float(value) < 0:
        raise ValueError(f"negative trip time {value!r}")
    return "ms"


def from_json(path, schema_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    jsonschema.validate(document, schema, cls=jsonschema.Draft202012Validator)
    lines = []
    for run in document["runs"]:
        kind = run["kind"]
        if kind == "ping":
            for reply in run["replies"]:
                lines.append(["ping", run["target"], text(run["address"]), text(run["family"]),
                              str(reply["seq"]), text(reply["status"]),
                              text(reply["status_text"]), time_of(reply["time_ms"]),
                              text(reply["ttl"]), text(reply["from"])])
            s = run["statistics"]
            lines.append(["stats", run["target"], str(s["sent"]), str(s["received"]),
                          str(s["lost"]), str(s["loss_percent"])])
            if run["error"]:
                lines.append(["error", run["target"], run["error"]])
        elif kind == "trace":
            for hop in run["hops"]:
                for address in hop["addresses"] or [{"address": None, "name": None}]:
                    lines.append(["trace", run["target"], text(run["address"]),
                                  text(run["family"]), str(hop["hop"]), text(address["address"]),
                                  text(address["name"]), str(hop["sent"]), str(hop["received"]),
                                  str(hop["loss_percent"]), time_of(hop["last_ms"])])
            if run["error"]:
                lines.append(["error", run["target"], run["error"]])
        elif kind == "whois":
            for number, line in enumerate(run["lines"], start=1):
                lines.append(["whois", run["target"], text(run["server"]), str(number), line])
        else:
            lines.append(["locate", run["target"], text(run["address"]), text(run["country_code"]),
                          text(run["city"]), text(run["latitude"]), text(run["longitude"]),
                          text(run["error"])])
    return lines


def from_csv(path):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f, strict=True))
    if not rows:
        raise ValueError("no header row")
    header, body = rows[0], rows[1:]
    if header not in (PING_CSV, WHOIS_CSV, LOCATE_CSV):
        raise ValueError(f"unknown header {header!r}")
    lines = []
    # The error of the run whose rows are being read: told after its last row.
    pending = None
    for values in body:
        if len(values) != len(header):
            raise ValueError(f"row of {len(values)} fields under {len(header)} columns: {values!r}")
        r = dict(zip(header, values))
        if pending and pending[0] != r.get("run"):
            lines.append(pending[1])
            pending = None
        if header == PING_CSV and r["error"]:
            pending = (r["run"], ["error", r["target"], r["error"]])
        if header == PING_CSV and r["seq"] == "" and r["hop"] == "":
            pass  # a ping or trace that made no request: only its error
        elif r["kind"] == "ping":
            lines.append(["ping", r["target"], text(r["address"]), text(r["family"]), r["seq"],
                          text(r["status"]), text(r["status_text"]), time_of(r["time_ms"]),
                          text(r["ttl"]), text(r["from"])])
        elif r["kind"] == "trace":
            lines.append(["trace", r["target"], text(r["address"]), text(r["family"]), r["hop"],
                          text(r["from"]), text(r["name"]), r["sent"], r["received"],
                          r["loss_percent"], time_of(r["time_ms"])])
        elif r["kind"] == "whois":
            lines.append(["whois", r["target"], text(r["server"]), r["line_no"], r["line"]])
        elif r["kind"] == "locate":
            lines.append(["locate", r["target"], text(r["address"]), text(r["country_code"]),
                          text(r["city"]), text(r["latitude"]), text(r["longitude"]),
                          text(r["error"])])
        else:
            raise ValueError(f"unknown kind {r['kind']!r}")
    if pending:
        lines.append(pending[1])
    return lines


def main():
    schema_path, form, path = sys.argv[1:4]
    try:
        lines = from_json(path, schema_path) if form == "json" else from_csv(path)
    except (ValueError, KeyError, csv.Error, json.JSONDecodeError,
            jsonschema.ValidationError) as error:
        print(f"{form}: {error}", file=sys.stderr)
        return 1
    for line in lines:
        print("\t".join(line))
    return 0


if __name__ == "__main__":
    sys.exit(main())
