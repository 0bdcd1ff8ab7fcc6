// _zok: the extension behind the Python package zok. It binds the library's public API and
// nothing else; the package (zok/*.py) gives it its Python shape.

#include "python/bindings.h"

PYBIND11_MODULE(_zok, module) {
    module.doc() = "The ZOK library's public API for the Python package zok (use zok instead).";
    module.attr("__version__") = ZOK_MODULE_VERSION;
    zokpy::RegisterErrors(module);
    zokpy::RegisterArchive(module);
    zokpy::RegisterEntryStream(module);
    zokpy::RegisterWriting(module);
}
