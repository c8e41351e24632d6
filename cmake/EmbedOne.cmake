# Writes OUTPUT: a header holding the text of INPUT as `kEmbedded_<stem>`
# (non-alphanumeric characters of the stem become "_").
file(READ ${INPUT} content)
string(MAKE_C_IDENTIFIER "${STEM}" ident)
file(WRITE ${OUTPUT} "#pragma once\n#include <string_view>\n// Generated from ${INPUT}; do not edit.\ninline constexpr std::string_view kEmbedded_${ident} = R\"TAVRELLE_EMBED(${content})TAVRELLE_EMBED\";\n")
