# Per-generator CPack settings. The archives are staged like the .deb files, so that the settings
# under /etc land in the archive (etc/...) instead of on the machine that builds it.
if(CPACK_GENERATOR STREQUAL "TGZ")
    set(CPACK_SET_DESTDIR ON)
    set(CPACK_INSTALL_PREFIX /usr)
endif()
