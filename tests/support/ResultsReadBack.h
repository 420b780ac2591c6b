#pragma once

#include <QByteArray>
#include <QStringList>

// Reads the program's JSON or CSV results as a script would (tests/cli/read_results.py): the JSON
// document validated against docs/results.schema.json, the CSV table read by Python's csv
// module. Returns the results in one plain form, one tab-separated line per ping reply, ping
// statistics (JSON only), trace hop address, WHOIS line or located address; empty, with a test
// failure, when the script refuses them. `form` is "json" or "csv".
QStringList ReadResultsBack(const QByteArray &bytes, const char *form);

// The lines of ReadResultsBack without those that start with `prefix`.
QStringList ResultsWithout(const QStringList &lines, const QString &prefix);

// One line of ReadResultsBack from its fields.
QString ResultRow(const QStringList &fields);
