# Input filter of the API reference: the headers document their interfaces
# in plain // comments, which Doxygen does not read. This turns each comment
# line that stands on its own into a /// line, and the file's opening block
# into the file's description; "// --- Section ---" rules stay plain.
1s|^// |/// \\file\n/// |
s|^\( *\)// |\1/// |
s|^\( *\)//$|\1///|
s|^\( *\)/// ---|\1// ---|
