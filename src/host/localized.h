#pragma once

#include <QString>
#include <initializer_list>

// Texts shown to the user are looked up by key; a key without a text shows as itself.
QString localized(const char* key);
// A localized text with one argument in place of its "%1"; a text without the
// place gets the argument after a blank, so it is never lost.
QString localizedFormat(const char* key, const QString& argument);
// The same with two arguments, in place of "%1" and "%2".
QString localizedFormat(const char* key, const QString& first, const QString& second);
// The same with any number of arguments, in place of "%1" to "%9".
QString localizedFormat(const char* key, std::initializer_list<QString> arguments);
