#pragma once

#include <QString>

namespace controls {

// What a screen reader is told about the controls Qt lacks: a reading box
// and a lamp are static texts whose text is what they show, in words; a spin
// button is a spin box with a value, whose arrows are buttons. Names are set
// by whoever knows what a control stands for (setAccessibleName). The
// controls install this themselves; nothing is drawn differently.
void install_accessible_controls();

// A shown text as it is spoken: "25ºC" becomes "25 ºC", the no-reading text
// " - - " becomes "no reading"; anything else stays as it is.
QString spoken_text(const QString& shown);

} // namespace controls
