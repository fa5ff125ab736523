// The upgrade procedures: after an installation over an older version, the
// conversions that version needs, in a fixed order. Most are commands to the
// running server modules; the others edit settings.cfg or webserver.dat, move
// data folders or have the web administration convert IMAP rules.
#pragma once

#include <functional>
#include <string>

#include "serverconfig/config_store.h"

namespace upgrade {

// Runs every task whose version threshold lies above oldVersion, for the
// installation in installDir (ending in "\"), with the configuration loaded
// into config at most once. A previous version that is not made of one to
// three numbers (the third with an optional "-build") runs no task and is
// logged. Returns true: no task stops the run.
//
// finished, when given, is told the threshold of a task once it has run with
// its save and no task of the same threshold is left: a run that starts again
// from that threshold (after a kill) repeats none of the finished tasks.
using TaskFinished = std::function<void(const std::string& threshold)>;
bool RunUpgradeTasks(serverconfig::TConfigStore& config, const std::string& oldVersion,
                     const std::string& installDir, const TaskFinished& finished = nullptr);

// Tells the five modules to read their configuration again (SMTP, POP3, IM,
// GroupWare, then Control) and ends the database library's connection.
void ReloadAllModules(serverconfig::TConfigStore& config);

// Moves a data folder to its new name. When the new name already exists, the
// entries are moved into it one by one, never replacing one there; what cannot
// be moved stays where it was and is logged, and the old folder stays when it
// is not empty then.
void MoveDataFolder(const std::string& from, const std::string& to);

// Whether a previous version is one the tasks can compare: "a", "a.b",
// "a.b.c" or "a.b.c-d" in digits.
bool IsComparableVersion(const std::string& version);

}  // namespace upgrade
