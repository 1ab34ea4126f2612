#include "ui/Tones.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr unsigned sample_rate = 44100;
constexpr int tone_ms = 50;
constexpr int pairs = 5;
constexpr double low_hz = 400;
constexpr double high_hz = 1000;

// ALSA reports a missing device on standard error unless told otherwise.
void silent_alsa_errors(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

Pcm open_device()
{
    snd_lib_error_set_handler(silent_alsa_errors);
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return nullptr;
    Pcm pcm(raw);
    if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, sample_rate, 1,
                           100000)
        < 0)
        return nullptr;
    return pcm;
}

std::vector<std::int16_t> tone(double frequency)
{
    std::vector<std::int16_t> samples(sample_rate * tone_ms / 1000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i) / sample_rate;
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(phase));
    }
    return samples;
}

bool write_samples(snd_pcm_t* pcm, const std::vector<std::int16_t>& samples)
{
    std::size_t done = 0;
    while (done < samples.size()) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
        if (written < 0)
            written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void play_signal()
{
    const Pcm pcm = open_device();
    if (!pcm)
        return;
    const auto low = tone(low_hz);
    const auto high = tone(high_hz);
    for (int pair = 0; pair < pairs; ++pair) {
        if (!write_samples(pcm.get(), low) || !write_samples(pcm.get(), high))
            return;
    }
    snd_pcm_drain(pcm.get());
}

} // namespace

TonePlayer::~TonePlayer()
{
    {
        const std::lock_guard hold(lock_);
        stopping_ = true;
    }
    queued_changed_.notify_all();
    if (player_.joinable())
        player_.join();
}

void TonePlayer::play_end_of_run()
{
    ++signals_started_;
    {
        const std::lock_guard hold(lock_);
        ++queued_;
    }
    // One thread plays every signal in turn, so the window never joins a sounding one.
    if (!player_.joinable())
        player_ = std::thread([this] { play_queued(); });
    queued_changed_.notify_all();
}

void TonePlayer::play_queued()
{
    std::unique_lock hold(lock_);
    for (;;) {
        queued_changed_.wait(hold, [this] { return queued_ > 0 || stopping_; });
        if (stopping_)
            return;
        --queued_;
        hold.unlock();
        play_signal();
        hold.lock();
    }
}
