#include "app/upgrade_app.h"

// The one application object, constructed before start-up.
CUpgradeApp theApp;
