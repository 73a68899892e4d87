{{SwipeTracking.js}}
	});
	$('article').on('touchend', function () {
		if (direction == 'right') {
			window.location.href = $('#PrevPage').attr('href');
		} else if (direction == 'left') {
			window.location.href = $('#NextPage').attr('href');
		}
	});
});
