#pragma once

// Named batch settings kept in the application's settings file (the INI file the desktop
// program's settings live in), so `pelmora-cli batch --preset NAME` repeats a run's choices.
// A preset holds command-line options, never a password.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace core {

/// The settings file: $XDG_CONFIG_HOME (else ~/.config) "/Korvane Lumbrix/Korvane Pelmora.conf".
std::string SettingsFilePath();

/// True for a name a preset may have: 1 to 64 letters, digits, '-' and '_'.
bool IsValidPresetName(const std::string& name);

/// The options a preset may keep ("--to", "--max-side", "--bpp", "--suffix", "--jobs" take a
/// value; "--recursive" and "--encrypt" are flags, kept as "1").
bool IsPresetOption(const std::string& option, bool& takesValue);

/// Option -> value ("1" for flags), in a stable order.
using PresetSettings = std::map<std::string, std::string>;

/// The preset `name` from `file`; nullopt when there is none.
std::optional<PresetSettings> LoadPreset(const std::string& file, const std::string& name);
/// The names of every preset in `file`, sorted.
std::vector<std::string> PresetNames(const std::string& file);
/// Stores `settings` as preset `name`, replacing one of that name; every other line of the file
/// stays as it was. The file is replaced atomically. False with `error` set when it fails.
bool SavePreset(const std::string& file, const std::string& name, const PresetSettings& settings, std::string& error);

/// The arguments a preset stands for, in option order ("--to", "png", "--recursive", ...).
std::vector<std::string> PresetArguments(const PresetSettings& settings);

namespace ini {
/// QSettings' INI value syntax: quoted when it holds ';', ',', '=', '"', '\' or outer spaces.
std::string EscapeValue(const std::string& value);
std::string UnescapeValue(const std::string& text);
} // namespace ini

} // namespace core
