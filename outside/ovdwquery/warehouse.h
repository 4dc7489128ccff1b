// The warehouse behind the query tool stand-in.
#pragma once
#include <cstdio>
#include <string>

// Runs every statement of the query text against the warehouse file and
// writes the rows as CSV lines to out. False with the warehouse's message.
bool RunWarehouseQuery(const std::string &db_path, const std::string &query, std::FILE *out, std::string *message);
