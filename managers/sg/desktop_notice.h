// Missing rights told to a desktop user, who never sees standard error: one
// notification through the session bus's notification service, where there
// is one.
#pragma once

#include <string>

namespace sgaspi {

// The notice's text for a node that could not be opened for lack of rights:
// what is missing and what to do (join the group that owns the node, or log
// in at the machine's seat). `group` may be empty when it is unknown.
std::string MissingRightsNotice(const std::string &path, const std::string &group);

// The group that owns `path`, empty when unknown.
std::string OwningGroup(const std::string &path);

// Sends the notice; false when there is no session bus or no service.
bool NotifyDesktop(const std::string &summary, const std::string &body);

} // namespace sgaspi
