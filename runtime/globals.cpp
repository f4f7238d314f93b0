#include "runtime/globals.h"

QString gs_appname;
QString gs_version;
