# The real boards' device trees the kit's overlays are checked on: those
# Debian 12's armhf kernel ships (linux-image-armmp), unpacked into the
# cache and never installed; each with its family's overlay. Sourced by the
# checks, after setting top (the repository) and work (a scratch folder).

# "FAMILY TREE": the Raspberry Pi Zero W, 2, 3 and 4, the i.MX6UL and
# i.MX6ULL EVKs.
board_trees=(
	"rpi bcm2835-rpi-zero-w" "rpi bcm2836-rpi-2-b" "rpi bcm2837-rpi-3-b"
	"rpi bcm2711-rpi-4-b" "imx6ul imx6ul-14x14-evk" "imx6ul imx6ull-14x14-evk")

# Each family's overlay and the labels it names the GPIO controller, the
# PWM and the I2C bus by.
declare -A family_overlay=([rpi]=sensorkit-rpi [imx6ul]=sensorkit-imx6ul)
declare -A family_labels=([rpi]="gpio pwm i2c1" [imx6ul]="gpio1 pwm1 i2c1")

# Debian builds the Raspberry Pi trees with -@, the i.MX ones without: no
# __symbols__ there. The labels the i.MX overlay names are given the paths
# imx6ul.dtsi gives them in Linux 6.1.
declare -A imx6ul_paths=(
	[gpio1]=/soc/bus@2000000/gpio@209c000
	[pwm1]=/soc/bus@2000000/pwm@2080000
	[i2c1]=/soc/bus@2100000/i2c@21a0000)

# The folder of Debian's armhf trees, the image linux-image-armmp names.
debian_trees() {
	local image
	image=$(apt-cache depends linux-image-armmp:armhf 2>/dev/null |
		sed -n 's/^ *Depends: \(linux-image-[^ :]*\).*/\1/p' | head -n 1)
	[ -n "$image" ] || {
		echo "apt's indexes name no image for linux-image-armmp:armhf (scripts/setup board)" >&2
		return 1
	}
	echo "$("$top/scripts/debian-unpack" "$image:armhf")"/usr/lib/linux-image-*
}

# Adds what dtc -@ would have made from the board's sources for LABELs to a
# tree without __symbols__: each label's path, and a phandle for a node
# nothing refers to.
add_symbols() { # TREE LABEL...
	local tree=$1 label path last=0 phandle
	shift
	fdtput -c "$tree" /__symbols__
	for phandle in $(dtc -q -I dtb -O dts "$tree" |
		sed -n 's/.*phandle = <\(0x[0-9a-f]*\)>;/\1/p'); do
		[ $((phandle)) -le "$last" ] || last=$((phandle))
	done
	for label in "$@"; do
		path=${imx6ul_paths[$label]:?no path for label $label}
		fdtput -t s "$tree" /__symbols__ "$label" "$path"
		fdtget "$tree" "$path" phandle >/dev/null 2>&1 && continue
		last=$((last + 1))
		fdtput -t u "$tree" "$path" phandle "$last"
	done
}

# The board's tree with the kit's overlay applied, as OUT.
merge_kit() { # FAMILY TREE OVERLAY OUT
	local base=$work/$(basename "$2" .dtb).base.dtb
	cp "$2" "$base"
	[ "$1" != imx6ul ] || add_symbols "$base" ${family_labels[$1]}
	fdtoverlay -i "$base" -o "$4" "$3"
}
