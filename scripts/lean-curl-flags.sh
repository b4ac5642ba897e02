# The configuration of the libcurl both editions carry (sourced by scripts/lean-curl and
# scripts/windows/build-prefix.sh): HTTP and HTTPS through OpenSSL with zlib, none of the protocols
# and libraries the client never uses (LDAP, RTMP, SSH, IDN, HTTP/2, brotli, zstd, PSL).
lean_curl_flags=(--enable-shared --disable-static --disable-ldap --disable-ldaps --disable-rtsp --disable-dict
                 --disable-telnet --disable-tftp --disable-pop3 --disable-imap --disable-smtp --disable-gopher
                 --disable-mqtt --disable-manual --without-libpsl --without-brotli --without-zstd
                 --without-libidn2 --without-nghttp2 --without-librtmp --without-libssh2)
