# The Debian package, made by CPack's DEB generator from the install rules (scripts/package).
# Runtime dependencies of the program's libraries are read from the binary by dpkg-shlibdeps;
# the programs it starts are declared by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Sonaro developers <developers@sonaro.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop sound recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Sonaro records from an input device of the PulseAudio or PipeWire sound\n\
server straight into WAV, MP3 or AIFF files, can be remote-controlled by\n\
command-line options, D-Bus and system-wide hot keys, and sends finished\n\
recordings by e-mail, FTP, a copy to a folder or a program of your choice.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://sonaro.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# lame is the MP3 encoder (without it MP3 recording asks for it); pactl, xdg-open and
# xdg-user-dir are used when present; ffmpeg decodes formats the program cannot read itself.
# qt6-wayland gives native Wayland windows (without it Qt uses XWayland).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "lame, pulseaudio-utils, xdg-utils, xdg-user-dirs, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
