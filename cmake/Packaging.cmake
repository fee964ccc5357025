# The Debian package (scripts/package): the programs, the manual pages and the docs. The shared
# library dependencies are computed from the binaries by dpkg-shlibdeps (dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellory)
set(CPACK_PACKAGE_VENDOR "Vellory")
set(CPACK_PACKAGE_CONTACT "Vellory developers <vellory@example.invalid>" CACHE STRING
    "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "command-line audio runtime: process capture, output fabric and players")
set(CPACK_PACKAGE_DESCRIPTION
    "Four command-line programs that a host application starts to capture, route and play audio:\n\
vellory-process-tap taps chosen applications and a live input into one capture device,\n\
vellory-output-fabric builds one output that plays on several devices at once,\n\
vellory-announcement-player plays one file with fades on the best stereo output, and\n\
vellory-player plays an https stream or a file decoded by ffmpeg. On Linux they run over\n\
libpulse against PulseAudio or PipeWire's pulse server.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The stream player runs ffmpeg; everything else works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pulseaudio | pipewire-pulse")
include(CPack)
