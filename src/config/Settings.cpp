#include "config/Settings.h"

#include <QSettings>

#include <algorithm>

namespace tonvola::settings {

namespace {

const QString exchangeKey = QStringLiteral("fill/exchangePercent");
const QString subfoldersKey = QStringLiteral("fill/subfolders");

QSettings stored()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tonvola"),
                     QStringLiteral("tonvola"));
}

} // namespace

int exchangePercent(int fallback)
{
    bool ok = false;
    const int percent = stored().value(exchangeKey, fallback).toInt(&ok);
    return ok ? std::clamp(percent, 0, 100) : fallback;
}

bool setExchangePercent(int percent)
{
    QSettings settings = stored();
    settings.setValue(exchangeKey, std::clamp(percent, 0, 100));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool subfolders()
{
    return stored().value(subfoldersKey, false).toBool();
}

bool setSubfolders(bool on)
{
    QSettings settings = stored();
    settings.setValue(subfoldersKey, on);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace tonvola::settings
