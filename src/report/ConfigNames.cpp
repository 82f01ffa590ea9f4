#include "report/ConfigNames.h"

#include "settings/MyIniFile.h"

QStringList ConfigurationNames() {
  TMyIniFile store(kConfigurationsRoot);
  QStringList names;
  store.ReadSectionNames(names);
  return names;
}

bool IsValidConfigurationName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}
