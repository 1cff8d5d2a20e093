# Sourced: copies ELF files from an unpacked Debian armhf tree into a root
# file system with exactly the libraries the loader will look for, each at
# the path Debian gives it (no ld.so.cache needed). The caller sets sysroot
# (the tree), root (the root file system) and readelf, and has die; every
# file copied is a key of installed.

# The loader's own search path when there is no ld.so.cache (Debian's glibc).
loader_dirs=(/lib/arm-linux-gnueabihf /usr/lib/arm-linux-gnueabihf /lib /usr/lib)

declare -A installed

# Copies the sysroot's PATH to the same path in the root, and, where it is a
# link, the link and what it leads to, so sonames stay links to their files.
put() {
	local path=$1 target
	while :; do
		[ -e "$sysroot$path" ] || die "the sysroot has no $path"
		mkdir -p "$(dirname "$root$path")"
		if [ -L "$sysroot$path" ]; then
			target=$(readlink "$sysroot$path")
			ln -sfn "$target" "$root$path"
			[[ $target == /* ]] || target=$(dirname "$path")/$target
			path=$(realpath -ms "$target")
			continue
		fi
		cp --preserve=mode "$sysroot$path" "$root$path"
		installed[$root$path]=1
		return
	done
}

# The directories, in the root, that ELF file FILE (at PATH in the root) asks
# the loader to search first: its RUNPATH or RPATH.
run_paths() {
	local file=$1 path=$2 dirs dir
	dirs=$("$readelf" -d "$file" | sed -n 's/.*Library r\(un\)\{0,1\}path: \[\(.*\)\]$/\2/p')
	[ -n "$dirs" ] || return 0
	tr ':' '\n' <<< "$dirs" | while read -r dir; do
		echo "${dir//\$ORIGIN/$(dirname "$path")}"
	done
}

# Walks the NEEDED entries from the ELF files at PATHS in the root, putting
# each library in the root from the directory the loader would take it from.
declare -A walked
walk() {
	local queue=("$@") path file name dir found interp
	while [ ${#queue[@]} -gt 0 ]; do
		path=${queue[0]}
		queue=("${queue[@]:1}")
		[ -n "${walked[$path]:-}" ] && continue
		walked[$path]=1
		file=$root$path
		interp=$("$readelf" -l "$file" | sed -n 's/.*Requesting program interpreter: \(.*\)\]$/\1/p')
		if [ -n "$interp" ] && [ -z "${walked[$interp]:-}" ]; then
			put "$interp"
			walked[$interp]=1
		fi
		mapfile -t search < <(run_paths "$file" "$path")
		search+=("${loader_dirs[@]}")
		while read -r name; do
			found=
			for dir in "${search[@]}"; do
				if [ -e "$sysroot$dir/$name" ]; then
					found=$dir/$name
					break
				fi
			done
			[ -n "$found" ] || die "$name, needed by $path, is in none of ${search[*]} of the sysroot"
			[ -n "${walked[$found]:-}" ] && continue
			put "$found"
			queue+=("$found")
		done < <("$readelf" -d "$file" | sed -n 's/.*(NEEDED).*Shared library: \[\(.*\)\]$/\1/p')
	done
}
