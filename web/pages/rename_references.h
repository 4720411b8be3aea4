// A renamed extension, group, plan or line must not leave references to its old
// name behind: calls would ring nobody, forward nowhere or dial through a
// plan that no longer exists. These run after the record itself was moved.
#pragma once

#include <string>

// Group members, lines' "RingOnLine", extensions' voice mail and forwarding
// targets. Answers how many references changed.
int VWRenameExtensionReferences(const std::string &from, const std::string &to);
// Lines' "RingOnLine", extensions' voice mail and forwarding targets.
int VWRenameGroupReferences(const std::string &from, const std::string &to);
// Extensions' "OutboundPlan".
int VWRenamePlanReferences(const std::string &from, const std::string &to);
// Plans' default line and their rules' lines, other lines' "ChainLine" and
// the emergency line.
int VWRenameLineReferences(const std::string &from, const std::string &to);
