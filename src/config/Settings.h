#pragma once

// The user's settings beyond the two folders of config.dat, which keeps its two lines: kept
// in the user's configuration folder (${XDG_CONFIG_HOME:-~/.config}/tonvola/tonvola.conf).
namespace tonvola::settings {

// The share of the player's MP3 bytes, in percent, that each fill frees for new files; the
// fallback while the user has set none.
[[nodiscard]] int exchangePercent(int fallback);
// False when the setting could not be stored.
[[nodiscard]] bool setExchangePercent(int percent);

// Whether a fill takes the MP3 files of the collection's sub-folders too; off while the user
// has not chosen it.
[[nodiscard]] bool subfolders();
// False when the setting could not be stored.
[[nodiscard]] bool setSubfolders(bool on);

} // namespace tonvola::settings
