# Every external library is found here once and exposed as an interface target, so that the
# folders' targets name what they may use: the core only C libraries, the platform the services.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS SSL)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Svg Test DBus)

pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(LIBPULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(POCKETSPHINX REQUIRED IMPORTED_TARGET pocketsphinx)
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
pkg_check_modules(FLAC REQUIRED IMPORTED_TARGET flac)
pkg_check_modules(OPUSENC REQUIRED IMPORTED_TARGET libopusenc)

find_library(GSM_LIBRARY gsm REQUIRED)
find_path(GSM_INCLUDE_DIR gsm.h PATH_SUFFIXES gsm REQUIRED)
find_library(RESOLV_LIBRARY resolv REQUIRED)

add_library(sonaro_core_deps INTERFACE)
add_library(sonaro::core_deps ALIAS sonaro_core_deps)
target_include_directories(sonaro_core_deps INTERFACE ${GSM_INCLUDE_DIR})
target_link_libraries(sonaro_core_deps INTERFACE Threads::Threads ${GSM_LIBRARY} PkgConfig::MPG123
                                                 PkgConfig::FFTW3F PkgConfig::FLAC
                                                 PkgConfig::OPUSENC
                                                 ${RESOLV_LIBRARY} OpenSSL::SSL ${CMAKE_DL_LIBS})

add_library(sonaro_platform_deps INTERFACE)
add_library(sonaro::platform_deps ALIAS sonaro_platform_deps)
target_link_libraries(sonaro_platform_deps INTERFACE
    Qt6::Core Qt6::DBus PkgConfig::SQLITE3 PkgConfig::LIBPULSE PkgConfig::LIBCURL PkgConfig::OPENSSL
    PkgConfig::X11 PkgConfig::POCKETSPHINX)
