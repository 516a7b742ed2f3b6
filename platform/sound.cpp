// Sound through libcanberra: one context for the program's life, made at the first sound; each play returns
// at once.
#include "services.h"

#include <canberra.h>

namespace platform {

namespace {
class CanberraSound : public SoundPlayer {
public:
    CanberraSound() = default;
    ~CanberraSound() override {
        if (m_context != nullptr) {
            ca_context_destroy(m_context);
        }
    }
    CanberraSound(const CanberraSound&) = delete;
    CanberraSound& operator=(const CanberraSound&) = delete;

    void play(const QString& path) override {
        if (!open()) {
            return;
        }
        const QByteArray file = path.toLocal8Bit();
        // Each play gets its own id so a new move does not cut off the sound of the one before.
        ca_context_play(m_context, ++m_id, CA_PROP_MEDIA_FILENAME, file.constData(), nullptr);
    }

private:
    // The context, its backend module and the connection to the sound server are made at the first sound,
    // not at start-up: the first frame needs none of them.
    bool open() {
        if (m_tried) {
            return m_context != nullptr;
        }
        m_tried = true;
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            return false;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Zorupa Nemi", nullptr);
        if (ca_context_open(m_context) != CA_SUCCESS) {
            // No sound server: stay silent rather than retrying at every move.
            ca_context_destroy(m_context);
            m_context = nullptr;
        }
        return m_context != nullptr;
    }

    bool m_tried = false;

private:
    ca_context* m_context = nullptr;
    std::uint32_t m_id = 0;
};
} // namespace

std::unique_ptr<SoundPlayer> makeSystemSound() {
    return std::make_unique<CanberraSound>();
}

} // namespace platform
