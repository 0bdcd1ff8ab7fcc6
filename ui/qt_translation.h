#pragma once

class QTranslator;

// Loads Qt's own Korean texts (standard buttons, file dialogs) into translator: the catalog
// "qt_ko", which pulls in "qtbase_ko" and the other modules' catalogs, or "qtbase_ko" alone when
// that fails. Looks in Qt's translations folder, then in "translations" beside the program.
// False when neither catalog is found; Qt's dialogs then keep their English texts.
bool LoadQtKoreanTranslation(QTranslator& translator);
