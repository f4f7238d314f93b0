#pragma once
// The program's name and version, written once by the application object at start-up and read
// by the about window.

#include <QString>

extern QString gs_appname;
extern QString gs_version;
