// Building the run's node list file through the warehouse.
#pragma once

// Runs the node query of RazInv.ini ("NodeInfo" "1") into the node list
// file: 0, or a negative value (-1 no query or file, else the query's result).
int Qvad_InvOvNodeListMake(const char *install_dir, const char *razinv_path, const char *node_list_path,
                           const char *stdout_path);
