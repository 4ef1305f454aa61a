#pragma once

namespace kartovo {

// Qt's own Polish texts (dialogs, buttons, context menus) for the window.
void InstallTranslations();

} // namespace kartovo
