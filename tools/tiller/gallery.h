// `tiller gallery`: every handle of a profile drawn alone over a small selection, in each of
// its looks (mouseout, mouseover, active) and in two views (isometric, and along the handle's
// own Z axis), with an index.html contact sheet that names each handle and its properties.
#ifndef TILLER_TOOLS_GALLERY_H
#define TILLER_TOOLS_GALLERY_H

#include <ostream>
#include <string>

namespace tiller::tools {

// Writes the pictures and DIR/index.html. Answers 0, or 1 when the profile cannot be loaded,
// no handle loads or a file cannot be written (the reason on `errors`).
int WriteGallery(const std::string& profile, const std::string& outDir, std::ostream& errors);

} // namespace tiller::tools

#endif
