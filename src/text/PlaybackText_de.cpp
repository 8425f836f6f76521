#include "text/PlaybackText.h"

#include "text/FileText.h"

namespace tonvola::playbacktext {

QString cannotPlay(const QString &name, const QString &reason)
{
    return QStringLiteral("Die Datei %1 kann nicht abgespielt werden: %2").arg(name, reason);
}

QString gone()
{
    return QStringLiteral("Sie ist nicht mehr vorhanden.");
}

QString notAFile()
{
    return QStringLiteral("Sie ist keine gewöhnliche Datei.");
}

QString unreadable(const fs::FileResult &why)
{
    return QStringLiteral("Sie lässt sich nicht lesen (%1).").arg(filetext::reason(why));
}

QString empty()
{
    return QStringLiteral("Sie ist leer.");
}

QString noMp3Data()
{
    return QStringLiteral("Sie enthält keine MP3-Daten.");
}

QString noPlaybackOnSystem()
{
    return QStringLiteral("Auf diesem System steht keine Wiedergabe zur Verfügung.");
}

QString accessDenied()
{
    return QStringLiteral("Der Zugriff wurde verweigert.");
}

QString notPlayableAsMp3()
{
    return QStringLiteral("Ihr Inhalt lässt sich nicht als MP3 abspielen.");
}

QString soundOutputFailed()
{
    return QStringLiteral("Die Tonausgabe ist gescheitert.");
}

} // namespace tonvola::playbacktext
