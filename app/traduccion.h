// Qt's own texts (standard buttons, context menus, dialogs) in Spanish,
// whatever language the user's session speaks.
#pragma once

// Installs Qt's Spanish translation on the application, when the system has
// it: from the folder "translations" beside the program (the Windows
// program's own copy), else from Qt's. Returns whether it was installed;
// without it Qt's texts stay in English, but the program's own boxes carry
// Spanish captions of their own. Call once the application object exists.
bool CargarTraduccionQt();
