$(function () {
    $('#btn1').on('click', function () {
        var button = $(this);
        button.css('background-color', 'blue');
        $.ajax({
            url: "{{vote_link}}",
            type: "GET",
            headers: { "X-Requested-With": "XMLHttpRequest" },
            dataType: "json"
        }).done(function (data) {
            if (data && data.state === 'success') {
                button.css('background-color', 'orange');
            } else {
                console.warn('Unexpected answer to the like:', data);
            }
        }).fail(function (xhr, status, error) {
            console.error('The like was not sent:', status, error);
            alert("いいねの送信に失敗しました。");
            button.css('background-color', '');
        });
    });
});
