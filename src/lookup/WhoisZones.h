#pragma once

#include <QString>

// The WHOIS zone table: 286 lines, one per domain zone, each the zone, a blank, a tab, "| " and
// the WHOIS host of the zone's registry (emu.id.au and wattle.id.au: a blank and no tab; eun.eg:
// a tab and no blank). Lines are joined by "\n", without a line end after the last one. The data
// module builds its WhoIsServerList from it.
QString WhoisZoneTable();
