#include "readers/browserchoice.h"

namespace bridge {

namespace {

class DefaultBrowserReader : public BrowserReader
{
public:
    explicit DefaultBrowserReader(const Options& options)
        : m_firefox(makeFirefoxReader(options)), m_chromium(makeChromiumReader(options))
    {
    }

    // The user may pick another default browser while the bridge runs: ask every time.
    Windows read() override
    {
        return readBrowserOfFamily(browserFamilyOfDesktopFile(defaultBrowserDesktopFile()),
                                   *m_firefox, *m_chromium);
    }

private:
    std::unique_ptr<BrowserReader> m_firefox;
    std::unique_ptr<BrowserReader> m_chromium;
};

} // namespace

std::unique_ptr<BrowserReader> makeDefaultBrowserReader(const Options& options)
{
    return std::make_unique<DefaultBrowserReader>(options);
}

} // namespace bridge
