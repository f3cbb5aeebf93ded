#!/usr/bin/env bash
# The release, checked (scripts/test.sh runs both modes):
#   release-check.sh        builds the release twice, from two copies of this
#                           tree in two folders whose names the ANSI code page
#                           lacks, and wants the same bytes; checks the
#                           archives' contents and sums, the programs'
#                           version, time stamp and size, the SDK with both
#                           toolchains; signs a release with a throwaway
#                           certificate and verifies it; builds it unsigned
#                           once more and wants the first bytes again. The
#                           signed programs are left in build/release-check/.
#   release-check.sh wine   the signed Run.exe starts the application and the
#                           signed install.exe registers the server under
#                           32-bit Wine: one end-to-end case each, by the
#                           win64 build's e2e_tests (exit 77: no 32-bit Wine).
# The copies and the certificate live in a temporary folder outside the tree,
# removed at the end; the private key exists only there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/release-check
signed=$out/signed

if [ "${1:-}" = wine ]; then
  # One case each: under emulation every start of a 32-bit program costs a minute.
  for program in Run.exe install.exe; do
    [ -f "$signed/$program" ] || { echo "no signed $program in $signed: run scripts/release-check.sh first"; exit 1; }
  done
  e2e=$root/build/win64/bin/e2e_tests.exe
  [ -f "$e2e" ] || { echo "no $e2e: build the win64 preset first"; exit 1; }
  scripts/wine-prefix.sh build/win64/wineprefix
  rc=0
  WINEPREFIX=$root/build/win64/wineprefix GEN_WINE_BITS=32 GEN_TEST_PROGRAM_BITS=64 \
    GEN_RUN_PROGRAM=$signed/Run.exe GEN_INSTALL_PROGRAM=$signed/install.exe GEN_PROGRAMS_BITS=32 \
    GTEST_FILTER='Registry/RunCases.*/PerUser32BitView:Registry/InstallCases.*/RegistersWithEightyZero' \
    scripts/wine-test.sh "$e2e" || rc=$?
  exit $rc
fi

rm -rf "$out"  # no signed programs of an earlier run
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }
started=$SECONDS
took() { echo "   ($((SECONDS - started)) s)"; started=$SECONDS; }

# Both builds find the time stamp themselves, as the win32 preset's build of
# this tree does: SOURCE_DATE_EPOCH if the caller set it, else the last
# commit's time, which each copy's history gives. No compiler cache may hand
# the second build the first one's objects.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
export CCACHE_DISABLE=1
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

copy_tree() {  # copy_tree FOLDER: a checkout of this commit with the tree's files as they are now
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git clone -q --shared --no-checkout "$root" "$1"
    git -C "$1" checkout -q --detach "$(git rev-parse HEAD)"
    git ls-files -z --cached --others --exclude-standard |
      tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$1"
  else
    mkdir -p "$1"
    tar --exclude=./build -cf - . | tar -xf - -C "$1"
  fi
}
release() {  # release FOLDER [VAR=value...]: the release command in FOLDER
  local folder=$1 log=$work/release.log
  shift
  (cd "$folder" && env "$@" cmake --workflow --preset release) >"$log" 2>&1 || { cat "$log"; return 1; }
}
unpack() {  # unpack RELEASE FOLDER: the archives of a release's build/release
  rm -rf "$2" && mkdir -p "$2"
  for archive in "$1"/build/release/*.zip; do (cd "$2" && cmake -E tar xf "$archive"); done
}
same_release() {  # same_release A B WHAT: the two releases' files are the same bytes
  local a=$1/build/release b=$2/build/release differ=() name
  for name in $( (cd "$a" && ls SHA256SUMS *.zip; cd "$b" && ls SHA256SUMS *.zip) | sort -u); do
    cmp -s "$a/$name" "$b/$name" || differ+=("$name")
  done
  if [ ${#differ[@]} -eq 0 ]; then
    echo "-- $3: the same bytes ($(cd "$a" && ls SHA256SUMS *.zip | tr '\n' ' '))"
    return 0
  fi
  fail "$3: these files differ: ${differ[*]}"
  unpack "$1" "$work/diff-a"; unpack "$2" "$work/diff-b"
  diff -rq "$work/diff-a" "$work/diff-b" | sed "s|$work/diff-[ab]/||g" || true
}

one="$work/сборка один"
two="$work/ビルド 二"
echo "-- copies of the tree: $one, $two (time stamp $epoch)"
copy_tree "$one"; copy_tree "$two"
echo "-- release in the first copy"
release "$one"; took
echo "-- release in the second copy"
release "$two"; took
same_release "$one" "$two" "two releases in two folders"

# What the first release holds.
rel=$one/build/release
(cd "$rel" && sha256sum -c SHA256SUMS && cat SHA256SUMS) || fail "SHA256SUMS does not match the archives"
unpack "$one" "$work/unpacked"
version=$(sed -n 's/^project(Korvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
programs=$work/unpacked/Korvel-$version-win32
sdk=$work/unpacked/Gen-$version-sdk
for file in "$programs"/{Run.exe,install.exe,README.txt} "$sdk"/{README.txt,bin/settings.exe,include/gen/Str.h} \
            "$sdk"/lib/{i686,x86_64}-w64-mingw32/libgen.a "$sdk"/lib/cmake/Gen/{GenConfig,GenConfigVersion}.cmake \
            "$sdk"/examples/{CMakeLists.txt,main.cpp}; do
  [ -f "$file" ] || fail "the release lacks ${file#"$work/unpacked/"}"
done
# No folder of either build in any file: the copies' names are in every
# path the compilers saw.
while read -r file; do
  if strings -a "$file" | grep -qF -e "$one" -e "$two" -e "$root" -e "сборка" -e "ビルド"; then
    fail "a build folder in ${file#"$work/unpacked/"}: $(strings -a "$file" | grep -F -e "$work" -e "$root" | head -n 1)"
  fi
done < <(find "$work/unpacked" -type f)
pe_time() {  # pe_time FILE: the PE header's time stamp
  local header
  header=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tu4 -j $((header + 8)) -N 4 "$1" | tr -d ' '
}
for exe in "$programs/Run.exe" "$programs/install.exe" "$sdk/bin/settings.exe"; do
  [ "$(pe_time "$exe")" = "$epoch" ] || fail "${exe##*/}: time stamp $(pe_time "$exe"), not $epoch"
done
for exe in "$programs/Run.exe" "$programs/install.exe"; do
  [ "$(strings -a -el "$exe" | grep -A1 -x FileVersion | tail -n 1)" = "$version" ] ||
    fail "${exe##*/}: its FileVersion is not the release's $version"
done
scripts/check-pe.sh "$programs/Run.exe" "$programs/install.exe" || fail "the shipped programs' checks"
for exe in Run.exe install.exe; do
  size=$(stat -c %s "$programs/$exe")
  [ "$size" -le 20480 ] || fail "$exe: $size bytes, over the budget of 20 KiB"
  # The win32 preset's own build of this tree (scripts/test.sh builds it first).
  if [ -f build/win32/bin/$exe ] && ! cmp -s build/win32/bin/$exe "$programs/$exe"; then
    fail "$exe differs from build/win32/bin/$exe (is that build out of date?)"
  fi
done
echo "-- archives: $(cd "$rel" && stat -c '%n %s bytes' *.zip | paste -sd ' ')"
took

# The SDK from its unpacked folder, with each toolchain; natively it says
# it has no library for this platform.
for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
  example=$work/example-$triple/gen_example.exe
  case $triple in i686*) format=pei-i386 ;; *) format=pei-x86-64 ;; esac
  if cmake -S "$sdk/examples" -B "$work/example-$triple" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${triple%%-*}.cmake" \
       -DCMAKE_PREFIX_PATH="$sdk" >"$work/example.log" 2>&1 &&
     cmake --build "$work/example-$triple" >>"$work/example.log" 2>&1 &&
     "$triple-objdump" -f "$example" | grep -q "file format $format\$"; then
    echo "-- the SDK's example builds for $triple ($format)"
  else
    cat "$work/example.log"; fail "the SDK's example for $triple"
  fi
done
if cmake -S "$sdk/examples" -B "$work/example-native" -DCMAKE_PREFIX_PATH="$sdk" >"$work/example.log" 2>&1 ||
   ! tr -s ' \n' '  ' <"$work/example.log" |
     grep -q 'holds the library for i686-w64-mingw32, x86_64-w64-mingw32, not for linux'; then
  cat "$work/example.log"; fail "natively the SDK should say it has no library for this platform"
fi
took

# Signed with a throwaway self-signed code-signing certificate.
keys=$work/keys
mkdir -m 700 "$keys"
openssl rand -hex 16 >"$keys/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Korvel release check" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signing.p12" \
  -passout "file:$keys/password"
rm -f "$keys/key.pem"
echo "-- release in the second copy, signed"
release "$two" GEN_SIGN_PKCS12="$keys/signing.p12" GEN_SIGN_PASSWORD_FILE="$keys/password"; took
(cd "$two/build/release" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS does not match the signed archives"
unpack "$two" "$work/signed"
cmp -s <(cd "$work/unpacked" && find . | sort) <(cd "$work/signed" && find . | sort) ||
  fail "the signed release holds other files than the unsigned one"
mkdir -p "$signed"
for exe in Korvel-$version-win32/Run.exe Korvel-$version-win32/install.exe Gen-$version-sdk/bin/settings.exe; do
  name=${exe##*/}
  if osslsigncode verify -CAfile "$keys/cert.pem" -in "$work/signed/$exe" >"$work/verify.log" 2>&1; then
    echo "-- $name: signature verified; it adds $(( $(stat -c %s "$work/signed/$exe") - $(stat -c %s "$work/unpacked/$exe") )) bytes"
  else
    cat "$work/verify.log"; fail "$name: osslsigncode verify"
  fi
  # The check can fail: the unsigned program has no signature to verify.
  if osslsigncode verify -CAfile "$keys/cert.pem" -in "$work/unpacked/$exe" >/dev/null 2>&1; then
    fail "$name: osslsigncode verifies the unsigned program too"
  fi
  cp "$work/signed/$exe" "$signed/"
done
# The key's password is in no log and no archive (the key itself never
# left $keys, inside its PKCS#12 file).
if grep -rqaF -f "$keys/password" "$two/build/release" "$work/signed" "$work"/*.log; then
  fail "the signing password landed in the release or a log"
fi

echo "-- release in the second copy, unsigned again"
release "$two"; took
same_release "$one" "$two" "an unsigned release after a signed one"
exit $failed
