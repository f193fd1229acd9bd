#include "processing/sound.h"

#include <canberra.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace qb {

namespace {

// The sound service loads its output driver as a module and unloads it when
// a context is destroyed, but the ALSA driver's player threads may still be
// returning through the module's code at that moment: the next instruction
// they run is gone. Once a context has opened, every driver module it loaded
// stays mapped for the life of the process (the modules live in a folder
// named "libcanberra-<version>").
void keepDriverModulesLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            const std::string_view path = info->dlpi_name ? info->dlpi_name : "";
            const auto file = path.rfind('/');
            const auto folder = file == std::string_view::npos ? file : path.rfind('/', file - 1);
            if (folder != std::string_view::npos && path.substr(folder + 1).starts_with("libcanberra-"))
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

class SilentPlayer : public SoundPlayer
{
public:
    void playAsterisk() override {}
    void playFile(const std::string &) override {}
};

// The desktop's sound service. Every call returns at once: the service plays
// in the background. Without a sound device, or with a file it cannot read,
// calls fail quietly.
class CanberraPlayer : public SoundPlayer
{
public:
    CanberraPlayer() = default;
    CanberraPlayer(const CanberraPlayer &) = delete;
    CanberraPlayer &operator=(const CanberraPlayer &) = delete;
    ~CanberraPlayer() override
    {
        if (m_context)
            ca_context_destroy(m_context);
    }

    void playAsterisk() override { playEvent("dialog-information"); }

    void playFile(const std::string &path) override
    {
        ca_context *c = context();
        if (!c)
            return;
        // A new file cuts off the one played before.
        ca_context_cancel(c, kFileId);
        std::error_code ec;
        const bool exists = !path.empty() && std::filesystem::is_regular_file(path, ec);
        if (exists
            && ca_context_play(c, kFileId, CA_PROP_MEDIA_FILENAME, path.c_str(), nullptr) == CA_SUCCESS)
            return;
        playEvent("bell");
    }

private:
    static constexpr std::uint32_t kEventId = 0;
    static constexpr std::uint32_t kFileId = 1;

    ca_context *context()
    {
        if (!m_context && ca_context_create(&m_context) != CA_SUCCESS)
            m_context = nullptr;
        if (m_context && !m_driverKept) {
            // Opening loads the driver; a failed open is tried again by the
            // next play, and an open context answers CA_ERROR_STATE.
            const int opened = ca_context_open(m_context);
            if (opened == CA_SUCCESS || opened == CA_ERROR_STATE) {
                keepDriverModulesLoaded();
                m_driverKept = true;
            }
        }
        return m_context;
    }

    void playEvent(const char *eventId)
    {
        if (ca_context *c = context())
            ca_context_play(c, kEventId, CA_PROP_EVENT_ID, eventId, nullptr);
    }

    ca_context *m_context = nullptr;
    bool m_driverKept = false;
};

} // namespace

std::unique_ptr<SoundPlayer> createSystemSoundPlayer()
{
    if (std::getenv("QUILLBOX_NO_SOUND"))
        return std::make_unique<SilentPlayer>();
    return std::make_unique<CanberraPlayer>();
}

} // namespace qb
