// The help window's text as the plug-in shows it, its lines ended with CR LF.
#pragma once

inline constexpr char kHelpText[] =
    "Truespace Cob Import Plugin 1.0\r\n\r\nImports *.scn, *.cob Treuspace\r\n\r\nCommon Settings:\r\n\r\n"
    "\tVerbose: enable detailed logging\r\n\tLog File name: enter new log file name\r\n\r\n"
    "\tImage Search Path: edit used search pathes\t\t\t(...) Button: add search path\r\n\r\n"
    "Specific Settings:\r\n\r\nimage_search_path: e.g. d:\\map\\;c:\\map\\;\r\n\r\nComment:\r\n"
    "\tOnly Polygons are supported";
