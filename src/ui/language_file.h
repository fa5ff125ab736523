// The language file (setup.lng): the texts of the application's forms and of
// the registered messages, exported for a translator and loaded back. It walks
// the forms model, so it works the same with or without windows.
//
// <APPLICATION><FORMS><FORM ID="TMainForm" CAPTION="..."><ITEM ID="NextButton"
// CLASS="tbutton" CAPTION="..." HINT="..."/>...</FORM></FORMS>
// <STRINGS><STRING ID="TStrings"><ITEM ID="cname" VALUE="..."/>...</STRING></STRINGS>
// </APPLICATION>
#pragma once

#include <string>
#include <vector>

#include "translations/message_table.h"
#include "ui/form.h"

namespace ui {

// The application's components are its forms, in creation order.
using TApplicationForms = std::vector<TForm*>;

// Writes the file (replacing it, creating missing directories). With
// withStrings the message table's entries follow the forms; a non-empty extra
// text is appended to APPLICATION as raw markup. False for an empty file name
// or when the file cannot be written.
bool ExportLanguage(const std::string& fileName, const TApplicationForms& forms, bool withStrings,
                    const std::string& extraText, support::TMessageTable* table = nullptr);

// Applies the file to the forms and, with withStrings, to the messages. False
// for an empty file name, a file that cannot be read or is empty, and a
// damaged file (one that ends inside a tag or with an element left open); what
// could be read of a damaged file is still applied. An item that does not fit
// its control ends the load there; what was applied stays.
bool LoadLanguage(const std::string& fileName, const TApplicationForms& forms, bool withStrings,
                  support::TMessageTable* table = nullptr);

}  // namespace ui
