#include "processing/sound.h"

#include <cstdlib>

namespace qb {

namespace {
class SilentPlayer : public SoundPlayer
{
public:
    void playAsterisk() override {}
    void playFile(const std::string &) override {}
};
} // namespace

std::unique_ptr<SoundPlayer> createSystemSoundPlayer()
{
    return std::make_unique<SilentPlayer>();
}

} // namespace qb
