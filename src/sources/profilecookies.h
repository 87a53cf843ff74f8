#pragma once

#include "readers/browserprofiles.h"
#include "sources/browsercookies.h"

namespace cookies {

// The cookies the browser of `profile` would send: those of its database and, for a Firefox
// that runs, the session cookies its live session store holds.
Jar readProfile(const profiles::Profile& profile);

} // namespace cookies
