#!/usr/bin/env bash
# package.sh [BUILD_DIR [OUT_DIR]]
#   The release package of a win32 build (default build/win32) in OUT_DIR
#   (default build/package): a folder vekt-<version>/ and its zip, holding the
#   shipped PE32 files, the import libraries of vexolib and zem, the SDK
#   (headers, C# bindings, integrator's README). The packaged files are checked
#   before the zip is made: PE32 format, system imports only, and each DLL's
#   exports declared exactly in its header and its C# binding.
#   The last line of output is the zip's path.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd)
out=${2:-$root/build/package}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package.sh: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name=vekt-$version
dir=$out/$name
rm -rf "$dir" "$out/$name.zip"
mkdir -p "$dir/bin" "$dir/lib" "$dir/sdk"

for f in launcher/vekt_main.exe webtool/Vistrel.exe vexolib/vexolib.dll zem/zem.dll; do
  cp "$build/$f" "$dir/bin/"
done
cp "$build/vexolib/vexolib.dll.a" "$build/zem/zem.dll.a" "$dir/lib/"
# Module definitions for teams whose linker wants its own import library.
for dll in vexolib zem; do
  { echo "LIBRARY $dll.dll"; echo "EXPORTS"; "$root/tools/check-sdk.sh" --table "$dir/bin/$dll.dll" | sed 's/^/  /'; } \
    >"$dir/lib/$dll.def"
done
cp -r "$root/sdk/include" "$root/sdk/csharp" "$dir/sdk/"
cp "$root/sdk/README.md" "$dir/README.md"
echo "$version" >"$dir/VERSION"

fail=0
for f in "$dir"/bin/*; do
  "$root/tools/check-pe.sh" "$f" pei-i386 --system-imports-only >/dev/null || {
    "$root/tools/check-pe.sh" "$f" pei-i386 --system-imports-only; fail=1; }
done
"$root/tools/check-sdk.sh" \
  "$dir/bin/vexolib.dll" "$dir/sdk/include/vexolib.h" "$dir/sdk/csharp/Vexolib.cs" \
  "$dir/bin/zem.dll" "$dir/sdk/include/zem.h" "$dir/sdk/csharp/Zem.cs" || fail=1
[ $fail = 0 ] || { echo "package.sh: the package fails its checks; no zip made" >&2; exit 1; }

(cd "$out" && zip -q -r -X "$name.zip" "$name")
echo "$out/$name.zip"
