#include "loadahead.h"

#include <utility>

LoadAhead::LoadAhead(PictureLoader load, QObject* parent) : QObject(parent), m_load(std::move(load)) {
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &LoadAhead::done);
}

void LoadAhead::start(const QString& path, int neededLongSide, std::function<void()> whenDone) {
    // The stamp is taken before the loader opens the file: a change between the two shows at the drop.
    const std::optional<platform::FileStamp> stamp = platform::fileStamp(path);
    if (stamp && matches(path, neededLongSide) && *stamp == m_ahead->stamp) {
        m_ahead->wanted = true; // the same drag came back
        return;
    }
    // One at a time: a drag that comes and goes over and over does not pile up decodes on the cores the
    // window and the slides share. Its drop loads as any other would.
    if (!stamp || (m_ahead && !m_ahead->picture.isFinished())) {
        return;
    }
    m_ahead = Ahead{path, neededLongSide, *stamp, m_load(path, neededLongSide), true, std::move(whenDone)};
    m_watcher.setFuture(m_ahead->picture);
}

void LoadAhead::abandon() {
    if (m_ahead) {
        m_ahead->wanted = false;
        m_ahead->whenDone = nullptr;
        letGoIfUnwanted();
    }
}

QFuture<platform::Picture> LoadAhead::take(const QString& path, int neededLongSide) {
    if (matches(path, neededLongSide) && platform::fileStamp(path) == m_ahead->stamp) {
        QFuture<platform::Picture> ready = m_ahead->picture;
        m_ahead.reset();
        return ready;
    }
    abandon();
    return m_load(path, neededLongSide);
}

bool LoadAhead::matches(const QString& path, int neededLongSide) const {
    return m_ahead && m_ahead->path == path && m_ahead->longSide == neededLongSide;
}

void LoadAhead::done() {
    if (m_ahead && m_ahead->picture.isFinished() && m_ahead->whenDone) {
        std::exchange(m_ahead->whenDone, nullptr)();
    }
    letGoIfUnwanted();
}

void LoadAhead::letGoIfUnwanted() {
    if (m_ahead && !m_ahead->wanted && m_ahead->picture.isFinished()) {
        m_ahead.reset();
    }
}
