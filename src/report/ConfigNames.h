#pragma once

#include <QStringList>

// The names of the saved configurations, in the order the store lists them.
// Opening the list creates its key when it is missing.
QStringList ConfigurationNames();

// A name that can be a configuration: not empty, and no "/" or "\", which
// would make it a key path of several levels.
bool IsValidConfigurationName(const QString& name);
