# Packages made by cpack: a Debian package of a Linux build, a zip of a Windows build.
set(CPACK_PACKAGE_NAME hp9845kit)
set(CPACK_PACKAGE_VENDOR "HP 9845 data kit")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Tools for HP 9845 floppy dumps, disk files, ROM images and BASIC files")
set(CPACK_PACKAGE_DESCRIPTION
    "Five command-line tools for rescuing the data of the HP 9845 desktop computer:
imgconv turns a raw floppy sector dump (or a SECSCAN sector report with its
dump) into an HP disk image in record order; blocksum checks a combined
16-bit ROM image block by block with the BPC block checksum; bytesplit splits
a ROM word file into complemented high-byte and low-byte files; basiclist
lists an HP 9845 BASIC file as CR LF text; hpfiles lists, extracts and
converts to text the files of an HP disk (LIF or HP 9845 file system), from
an image or straight from an ImageDisk or TeleDisk capture.")
set(CPACK_PACKAGE_CONTACT "HP 9845 data kit maintainers <hp9845kit@example.org>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  # Depends on the C and C++ runtime only, as dpkg-shlibdeps finds it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
