#pragma once

// The program is Japanese whatever the session's locale: Qt's own dialogs and buttons take
// their Japanese translation, and numbers, dates and sizes that Qt formats with the default
// locale come out as in Japan. Call once, after the application object exists.
void installJapaneseUi();
