#pragma once
// The sounds the alerts play. Behind an interface so tests can record what
// was asked; the real one never waits and swallows every failure.

#include <memory>
#include <string>

namespace qb {

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // The desktop's information sound.
    virtual void playAsterisk() = 0;
    // A WAV file, cutting off the one played before; the default sound when
    // the file cannot be played.
    virtual void playFile(const std::string &path) = 0;
};

// The desktop's sound service; a silent player when QUILLBOX_NO_SOUND is set.
std::unique_ptr<SoundPlayer> createSystemSoundPlayer();

} // namespace qb
