#pragma once
// k417ctl's run records: the options that choose a store and filter runs,
// for every subcommand that reads or writes records.

#include "cli/Cli.h"
#include "records/RecordStore.h"

#include <memory>
#include <string>
#include <vector>

// Takes "--name VALUE" (or "--name=VALUE") out of args. False with an error
// text when the value is missing.
bool TakeTextOption(std::vector<std::string>& args, const std::string& name, std::string& value, std::string& error);
// Takes a "--name" flag out of args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
// Takes "--db PATH|URI" out of args and opens that store, else $K417_DB's,
// else the station's default. Empty after telling why on stderr (result:
// the exit status) when the option is wrong or the store cannot be opened.
std::unique_ptr<RecordStore> OpenCliStore(CliContext& c, std::vector<std::string>& args, int& result);

// records list|show|sync|yield|export|report.
void AddRecordsSubcommands(std::vector<Subcommand>& list);
