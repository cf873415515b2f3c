#!/bin/sh
# Signs a Windows program with a throw-away test certificate (Authenticode,
# osslsigncode). The test root and the two publishers' certificates are made
# with openssl into DIR the first time and reused afterwards; they exist only
# in the build tree and are trusted only by the test Wine prefix
# (tools/trust-root). Nothing here is a real key.
#   sign_windows.sh FILE DIR [PUBLISHER]   PUBLISHER: "velqor" (default) or "other"
set -eu
file=$1 dir=$2 who=${3:-velqor}
mkdir -p "$dir"
cd "$dir"
if [ ! -f root.pem ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 3650 \
    -subj "/CN=Velqor Test Root (test only)" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl x509 -in root.pem -outform DER -out root.der
fi
for p in velqor other; do
  [ -f "$p.pem" ] && continue
  case $p in velqor) cn="Velqor Test Publisher" ;; other) cn="Other Test Publisher" ;; esac
  openssl req -newkey rsa:2048 -nodes -keyout "$p.key" -out "$p.csr" -subj "/CN=$cn" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$p.ext"
  openssl x509 -req -in "$p.csr" -CA root.pem -CAkey root.key -CAcreateserial -out "$p.pem" -days 3650 \
    -extfile "$p.ext" 2>/dev/null
done
osslsigncode sign -certs "$dir/$who.pem" -ac "$dir/root.pem" -key "$dir/$who.key" -n "Velqor demo package" -h sha256 \
  -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
