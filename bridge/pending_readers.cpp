// Stand-ins until the browser readers are merged: every browser reads as not running, so
// the bridge owns no name. This file goes when the readers land.
#include "readers/browserreader.h"

namespace bridge {

namespace {
class NotRunningReader : public BrowserReader
{
public:
    Windows read() override { return {}; }
};
} // namespace

std::unique_ptr<BrowserReader> makeChromiumReader(const Options&)
{
    return std::make_unique<NotRunningReader>();
}

std::unique_ptr<BrowserReader> makeFirefoxReader(const Options&)
{
    return std::make_unique<NotRunningReader>();
}

std::unique_ptr<BrowserReader> makeDefaultBrowserReader(const Options&)
{
    return std::make_unique<NotRunningReader>();
}

} // namespace bridge
