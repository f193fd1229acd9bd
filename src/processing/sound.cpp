#include "processing/sound.h"

#include <canberra.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qb {

namespace {

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
        return m_context;
    }

    void playEvent(const char *eventId)
    {
        if (ca_context *c = context())
            ca_context_play(c, kEventId, CA_PROP_EVENT_ID, eventId, nullptr);
    }

    ca_context *m_context = nullptr;
};

} // namespace

std::unique_ptr<SoundPlayer> createSystemSoundPlayer()
{
    if (std::getenv("QUILLBOX_NO_SOUND"))
        return std::make_unique<SilentPlayer>();
    return std::make_unique<CanberraPlayer>();
}

} // namespace qb
