// Building the run's node list file through the warehouse.
#pragma once

#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "hp_ov/qvademinv/qvadovquery.h"

// Runs the run's node query (RazInv.ini "NodeInfo" "1") into the node list
// file: 0, or a negative value (-1 no query or file, else the query's result).
int Qvad_InvOvNodeListMake(const InvRunContext &run, const QvadQuerySite &site, const char *node_list_path);

// Why a node cannot be collected, as the start of its error trace, or null:
// a name or attribute too long for the host's record, a name that would
// name a file outside the result folder, or one that could change what a
// query asks for.
const char *Qvad_InvNodeRefusal(const NodeEntry &node);
