# The scanned-files report and the update check: the report's two banner
# pictures in the program folder (the folder above the data folder, where
# the report looks for them), and the update-check library's settings with
# no update address, so that a check answers that none is configured until
# an administrator sets one.
for picture in top_menu_left.gif top_menu_right.jpg; do
  if [[ ! -e $program/$picture && -e $scripts/install.d/report/$picture ]]; then
    install -m 0644 "$scripts/install.d/report/$picture" "$program/$picture"
  fi
done
vireo='HKLM\SOFTWARE\Vireo\UpdateCheck'
"$kvreg" query "$vireo" > /dev/null 2>&1 || "$kvreg" add "$vireo" /f > /dev/null
set_value "$vireo" Address REG_SZ ""
