// Loading a picture ahead of the drop, or the dialog's Open, that will ask for it.
#pragma once

#include "platform/picture.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// Decodes a picture file at no more than a long side, away from the window's thread; the future holds an
// empty picture when the file cannot be shown.
using PictureLoader = std::function<QFuture<platform::Picture>(const QString& path, int neededLongSide)>;

// A drag carrying a file over the window, or a file gone to in the file dialog: the file is decoded while
// the player still moves to the drop or to Open, so that the choice finds its picture ready rather than
// waiting for the whole decoding. The choice takes that load only for the same file, unchanged since (a
// file written meanwhile is loaded anew), at the same size. At most one load runs ahead at a time; one that
// no choice takes ends unread, its picture let go as soon as it is done.
class LoadAhead : public QObject {
public:
    LoadAhead(PictureLoader load, QObject* parent);

    // A drag with this file came over the window (or the player went to it in the file dialog). whenDone
    // runs once its load is done, unless taken or abandoned before.
    void start(const QString& path, int neededLongSide, std::function<void()> whenDone = {});
    // The drag went away without a drop (the dialog closed without this file).
    void abandon();
    // The drop's load: the one started ahead when it is for this file as it is now, else a new one.
    QFuture<platform::Picture> take(const QString& path, int neededLongSide);

    // Whether a load started ahead is held, under way or done (for tests).
    bool holding() const { return m_ahead.has_value(); }

private:
    struct Ahead {
        QString path;
        int longSide = 0;
        platform::FileStamp stamp;
        QFuture<platform::Picture> picture;
        bool wanted = true; // false once the drag has gone: the picture is let go when done
        std::function<void()> whenDone;
    };
    bool matches(const QString& path, int neededLongSide) const;
    void done();
    void letGoIfUnwanted();

    PictureLoader m_load;
    std::optional<Ahead> m_ahead;
    QFutureWatcher<platform::Picture> m_watcher; // tells when a load nobody wants any more is done
};
